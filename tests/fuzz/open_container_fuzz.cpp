// Any bytes as a container: open_container must end in one of the codes of a
// header that is not ours, damaged or beyond our limits, or give a header
// inside every limit, and release_job must leave nothing open.
#include <memory>

#include "engine/container/job_context.h"
#include "engine/container/legacy_header.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Scratch& files = fuzz::scratch();
    files.put_input(data, size);

    auto job = std::make_unique<JobContext>();
    const StatusCode status = open_container(*job, files.input());
    fuzz::expect_status(status, {StatusCode::ok, StatusCode::not_container, StatusCode::unsupported, StatusCode::damaged,
                                 StatusCode::read_failed},
                        "open_container");
    fuzz::expect(job->status == status, "status not stored", to_int(job->status));
    // A regular file that opened can always be read; only the legacy import
    // reports a text cut short as a read failure.
    if (status == StatusCode::read_failed)
        fuzz::expect(size >= 4 && data[3] < 2, "read failure outside the legacy texts");
    if (status == StatusCode::ok) {
        fuzz::expect_valid_header(*job);
        // Versions 0 and 1 need the 64-byte header; version 2 its 1024 bytes.
        fuzz::expect(size >= (job->format_version == 2 ? HEADER_SIZE : LEGACY_HEADER_SIZE), "header longer than the file",
                     static_cast<long>(size));
    }
    release_job(*job);
    fuzz::expect_released(*job);
    return 0;
}
