// The files of one call, each its own job: up to N at once, their messages in
// argument order whatever N is, one progress line for the whole call, and
// every running job cancelled by an ending.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/container/job_context.h"
#include "jobs/job_kind.h"

namespace corvane::cli {

// One file of a call: its paths, what its job will process, and, once it has
// ended, its exit status and what it reports.
struct FileTask {
    std::u16string input;
    std::u16string output;   // encrypt, decrypt
    std::uint64_t total = 0;  // bytes its job processes, for the progress line
    bool ready = false;       // passed the checks made before the password: it runs
    int status = 0;           // its exit status: 0, 2 (refused) or its job's status
    platform::ErrorCode reason = 0;  // the system's reason for a failure found before the run
    bool cancelled = false;   // its job ended on a cancel
    std::string err;          // lines for standard error
    std::string out;          // lines for standard output
    std::string json;         // the facts --json prints
};

// The work of one ready task on a job context of its own, reporting to sink
// (may be null). It fills the task's status and lines.
using TaskWork = std::function<void(FileTask& task, JobContext& job, ProgressSink* sink)>;

struct BatchSettings {
    JobKind kind = JobKind::encrypting;
    unsigned jobs = 1;   // tasks at once; 0: one per core
    bool quiet = false;  // no progress line and no summing up
};

// Runs the ready tasks and shows the lines of every task (a task refused
// before it could run included) in argument order; on a terminal also the
// progress line and, for several files, a last line that sums up. An ending
// (Ctrl-C, SIGTERM, ...) cancels every running job and starts no more. The
// exit status of the call: 128 + the signal after an ending, else that of the
// first task that failed, else 0.
[[nodiscard]] int run_batch(std::vector<FileTask>& tasks, const BatchSettings& settings, const TaskWork& work);

// True when a call of count tasks shows one progress line over all of them,
// which needs each task's total before the run.
[[nodiscard]] bool shows_call_progress(const BatchSettings& settings, std::size_t count);

// How many tasks run at once for a -j value: 0 is one per core.
[[nodiscard]] unsigned workers_for(unsigned jobs, std::size_t tasks);

}  // namespace corvane::cli
