#include "cli/batch.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "cli/progress_line.h"
#include "cli/report.h"
#include "cli/text.h"
#include "ui/messages.h"

namespace corvane::cli {
namespace {

using terminal::Stream;

constexpr auto WATCH_STEP = std::chrono::milliseconds(20);
// As often as a job's own reports reach its line.
constexpr auto DRAW_INTERVAL = std::chrono::milliseconds(REPORT_INTERVAL_MS);
constexpr double BYTES_PER_MIB = 1048576.0;

// The whole call's figures for a progress line over several jobs: files
// done of the total, and bytes, speed and remaining time over all of them.
class CallProgress {
public:
    CallProgress(JobKind kind, std::size_t files, std::uint64_t total_bytes, int width)
        : status_(to_display_utf8(ui::job_start_text(kind).text)), files_(files), total_(total_bytes),
          line_(std::string(), width), start_(std::chrono::steady_clock::now()) {}

    // One running job's sink: keeps its done bytes for the next drawing.
    class Slot final : public ProgressSink {
    public:
        Slot(CallProgress& call) : call_(call) {}
        void on_progress(const ProgressMeter& meter) override {
            std::lock_guard<std::mutex> guard(call_.lock_);
            running_ = meter.done_bytes;
        }
        void finished(std::uint64_t total) {
            std::lock_guard<std::mutex> guard(call_.lock_);
            running_ = 0;
            call_.finished_bytes_ += total;
            ++call_.files_done_;
        }
        std::uint64_t running_ = 0;

    private:
        CallProgress& call_;
    };

    Slot& add_slot() {
        slots_.push_back(std::make_unique<Slot>(*this));
        return *slots_.back();
    }

    void draw() {
        ProgressMeter m;
        std::size_t done_files = 0;
        {
            std::lock_guard<std::mutex> guard(lock_);
            m.done_bytes = finished_bytes_;
            for (const auto& slot : slots_) m.done_bytes += slot->running_;
            done_files = files_done_;
        }
        m.total_bytes = total_;
        m.total_mib = static_cast<double>(total_) / BYTES_PER_MIB + 1e-6;
        m.done_mib = static_cast<double>(m.done_bytes) / BYTES_PER_MIB + 1e-6;
        m.fraction = m.done_mib / m.total_mib;
        m.elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count() + 1e-5;
        m.speed = m.done_mib / m.elapsed;
        // Nothing done yet tells nothing of the time left.
        m.remaining = m.done_bytes == 0 ? 0 : m.elapsed / m.fraction - m.elapsed;
        line_.set_status(status_, std::to_string(done_files) + "/" + std::to_string(files_));
        line_.on_progress(m);
    }

    void clear() { line_.clear(); }
    void finish() { line_.finish(); }

private:
    std::mutex lock_;
    std::string status_;
    std::size_t files_;
    std::uint64_t total_;
    std::uint64_t finished_bytes_ = 0;
    std::size_t files_done_ = 0;
    std::vector<std::unique_ptr<Slot>> slots_;
    ProgressLine line_;
    std::chrono::steady_clock::time_point start_;
};

// Shows each task's lines once every task before it has shown its own.
class OrderedReport {
public:
    explicit OrderedReport(std::vector<FileTask>& tasks) : tasks_(tasks), ended_(tasks.size(), false) {
        for (std::size_t i = 0; i < tasks.size(); ++i) ended_[i] = !tasks[i].ready;
    }
    void ended(std::size_t index) {
        std::lock_guard<std::mutex> guard(lock_);
        ended_[index] = true;
    }
    // True when it showed something (the progress line was cleared first).
    bool show_ready(CallProgress* progress) {
        std::lock_guard<std::mutex> guard(lock_);
        bool shown = false;
        while (next_ < tasks_.size() && ended_[next_]) {
            const FileTask& t = tasks_[next_++];
            if (t.err.empty() && t.out.empty()) continue;
            if (progress != nullptr && !shown) progress->clear();
            shown = true;
            if (!t.err.empty()) say(Stream::err, t.err);
            if (!t.out.empty()) say(Stream::out, t.out);
        }
        return shown;
    }

private:
    std::mutex lock_;
    std::vector<FileTask>& tasks_;
    std::vector<bool> ended_;
    std::size_t next_ = 0;
};

}  // namespace

unsigned workers_for(unsigned jobs, std::size_t tasks) {
    unsigned n = jobs;
    if (n == 0) n = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<unsigned>(std::min<std::size_t>(n, std::max<std::size_t>(tasks, 1)));
}

bool shows_call_progress(const BatchSettings& settings, std::size_t count) {
    return count > 1 && !settings.quiet && terminal::is_terminal(Stream::err);
}

int run_batch(std::vector<FileTask>& tasks, const BatchSettings& settings, const TaskWork& work) {
    std::vector<std::size_t> ready;
    std::uint64_t total = 0;
    for (std::size_t i = 0; i < tasks.size(); ++i)
        if (tasks[i].ready) {
            ready.push_back(i);
            total += tasks[i].total;
        }

    const bool on_terminal = !settings.quiet && terminal::is_terminal(Stream::err);
    const bool call_line = shows_call_progress(settings, tasks.size());
    // One file draws its own line as today; several share one for the call.
    std::unique_ptr<ProgressLine> single;
    std::unique_ptr<CallProgress> call;
    if (on_terminal && tasks.size() == 1)
        single = std::make_unique<ProgressLine>(to_display_utf8(ui::job_start_text(settings.kind).text),
                                                terminal::width(Stream::err));
    if (call_line)
        call = std::make_unique<CallProgress>(settings.kind, ready.size(), total, terminal::width(Stream::err));

    OrderedReport report(tasks);
    std::mutex running_lock;
    std::vector<JobContext*> running;  // the job of each worker, while it runs one
    bool stopping = false;
    std::atomic<std::size_t> next{0};

    const unsigned count = workers_for(settings.jobs, ready.size());
    running.assign(count, nullptr);
    std::vector<CallProgress::Slot*> slots(count, nullptr);
    if (call)
        for (auto& slot : slots) slot = &call->add_slot();

    std::vector<char> started(tasks.size(), 0);
    auto worker = [&](unsigned self) {
        for (;;) {
            const std::size_t k = next.fetch_add(1);
            if (k >= ready.size()) return;
            FileTask& task = tasks[ready[k]];
            auto job = std::make_unique<JobContext>();
            {
                std::lock_guard<std::mutex> guard(running_lock);
                if (stopping) return;
                started[ready[k]] = 1;
                running[self] = job.get();
                job->run_state.store(RunState::running);
            }
            ProgressSink* sink = single ? static_cast<ProgressSink*>(single.get())
                                        : slots[self] != nullptr ? slots[self] : nullptr;
            work(task, *job, sink);
            {
                std::lock_guard<std::mutex> guard(running_lock);
                running[self] = nullptr;
            }
            job->header.bytes.fill(0);
            if (slots[self] != nullptr) slots[self]->finished(task.total);
            report.ended(ready[k]);
        }
    };

    std::vector<std::thread> threads;
    for (unsigned w = 0; w < count && !ready.empty(); ++w) {
        try {
            threads.emplace_back(worker, w);
        } catch (const std::system_error&) {
            break;
        }
    }
    if (threads.empty())
        for (const std::size_t i : ready) {
            tasks[i].status = to_int(StatusCode::no_thread);
            tasks[i].err = failure_line(StatusCode::no_thread, tasks[i].input);
            report.ended(i);
        }

    // The watch below wakes when the last worker ends, not at its next step,
    // so a call of many small files does not wait out a step for each.
    std::mutex done_lock;
    std::condition_variable done_signal;
    bool all_done = false;
    std::thread joiner([&] {
        for (auto& t : threads) t.join();
        std::lock_guard<std::mutex> guard(done_lock);
        all_done = true;
        done_signal.notify_all();
    });
    bool ended = false;
    auto last_draw = std::chrono::steady_clock::time_point{};
    for (;;) {
        bool done = false;
        {
            std::lock_guard<std::mutex> guard(done_lock);
            done = all_done;
        }
        if (!ended && terminal::interrupted()) {
            ended = true;
            std::lock_guard<std::mutex> guard(running_lock);
            stopping = true;
            for (JobContext* job : running)
                if (job != nullptr) job->run_state.store(RunState::cancelling);
        }
        if (call) {
            const bool shown = report.show_ready(call.get());
            const auto now = std::chrono::steady_clock::now();
            if (!done && (shown || now - last_draw >= DRAW_INTERVAL)) {
                call->draw();
                last_draw = now;
            }
        }
        if (done) break;
        std::unique_lock<std::mutex> wait(done_lock);
        done_signal.wait_for(wait, WATCH_STEP, [&] { return all_done; });
    }
    joiner.join();

    // A task an ending kept from starting reports nothing.
    bool skipped = false;
    for (const std::size_t i : ready)
        if (started[i] == 0 && !threads.empty()) {
            skipped = true;
            report.ended(i);
        }
    if (single) single->finish();
    if (call) call->finish();
    report.show_ready(nullptr);

    std::size_t failed = 0;
    std::size_t succeeded = 0;
    int status = 0;
    for (const FileTask& t : tasks) {
        if (t.cancelled) continue;
        if (t.status != 0) {
            ++failed;
            if (status == 0) status = t.status;
        } else if (t.ready) {
            ++succeeded;
        }
    }
    // An ending that came when every job had finished cancelled nothing.
    if (skipped || std::any_of(tasks.begin(), tasks.end(), [](const FileTask& t) { return t.cancelled; })) {
        say(Stream::err, "corvane-cli: cancelled\n");
        return terminal::interrupted_status();
    }
    if (call_line)
        say(Stream::err, std::to_string(tasks.size()) + " files: " + std::to_string(succeeded) + " done, " +
                             std::to_string(failed) + " failed\n");
    return status;
}

}  // namespace corvane::cli
