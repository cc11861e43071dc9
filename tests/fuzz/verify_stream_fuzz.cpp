// Any bytes as a container to test: verify_stream after a successful open
// must end in success, damage or truncation, never read beyond its block
// buffer, and on success must have counted exactly file_size bytes.
#include <memory>

#include "engine/container/block_stream.h"
#include "engine/container/meter.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Scratch& files = fuzz::scratch();
    files.put_input(data, size);

    auto job = std::make_unique<JobContext>();
    job->run_state.store(RunState::running);
    if (open_container(*job, files.input()) == StatusCode::ok) {
        const std::uint64_t file_size = job->header.file_size();
        const std::uint32_t block_size = job->header.block_size();
        meter_start(*job, file_size, nullptr);
        const StatusCode status = verify_stream(*job);
        fuzz::expect_status(status, {StatusCode::ok, StatusCode::damaged, StatusCode::truncated}, "verify_stream");
        if (status == StatusCode::ok) {
            fuzz::expect(job->meter.done_bytes == file_size, "verified bytes differ from file_size");
            if (job->format_version == 2) {
                // Exact block lengths: every record is there, then at least 8 trailer bytes.
                const std::uint64_t blocks = block_size == 0 ? 0 : (file_size + block_size - 1) / block_size;
                fuzz::expect(size >= HEADER_SIZE + 8 * blocks + file_size + 8, "verified a container shorter than its blocks");
            }
        }
    }
    release_job(*job);
    fuzz::expect_released(*job);
    return 0;
}
