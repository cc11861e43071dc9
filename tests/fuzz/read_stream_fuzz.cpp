// Any bytes as a container to decrypt with a fixed password and key file:
// read_stream must end in one of its codes and, on success, have written
// exactly the recorded size.
#include <memory>

#include "engine/cipher/key_schedule.h"
#include "engine/container/block_stream.h"
#include "engine/container/meter.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

namespace {

// The permutation costs rounds x bytes per block, a price the format allows
// (up to 2^20 rounds); inputs that ask for more than this much work are
// opened but not decrypted, so the fuzzer spends its time on the parsing.
constexpr std::uint64_t MAX_JUMBLE_WORK = 1ull << 24;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Scratch& files = fuzz::scratch();
    files.put_input(data, size);

    auto job = std::make_unique<JobContext>();
    job->run_state.store(RunState::running);
    if (open_container(*job, files.input()) == StatusCode::ok) {
        const ContainerHeader& h = job->header;
        const std::uint64_t stored = h.file_size() < size ? h.file_size() : size;
        if (static_cast<std::uint64_t>(h.jumble_rounds()) * stored <= MAX_JUMBLE_WORK) {
            job->keyfile_handle = platform::open_read(files.keyfile());
            job->output_handle = platform::create_write(files.output());
            fuzz::expect(job->keyfile_handle != platform::INVALID_FILE && job->output_handle != platform::INVALID_FILE,
                         "cannot open the key file or the output");
            meter_start(*job, h.file_size(), nullptr);
            StatusCode status = schedule_key(*job, fuzz::SEED_PASSWORD);
            fuzz::expect(status == StatusCode::ok, "schedule_key", to_int(status));
            status = read_stream(*job);
            fuzz::expect_status(status,
                                {StatusCode::ok, StatusCode::damaged, StatusCode::truncated, StatusCode::wrong_key},
                                "read_stream");
            if (status == StatusCode::ok) {
                const std::uint64_t restored = h.file_size();
                release_job(*job);
                std::error_code ec;
                fuzz::expect(fuzz::fs::file_size(files.output_path(), ec) == restored && !ec,
                             "output size differs from the restored size", static_cast<long>(restored));
            }
        }
    }
    release_job(*job);
    fuzz::expect_released(*job);
    return 0;
}
