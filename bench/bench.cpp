// Throughput of the file jobs and of the engine alone, in MiB/s and as a share
// of a plain read-and-write copy of the same file measured in the same run;
// the key schedule at its largest round counts; the peak memory of each job;
// and what the progress meter costs a job.
//
//   corvane-bench [--size MIB] [--engine-size MIB] [--runs N] [--slow-runs N] [--dir FOLDER] [--csv FILE]
//
// Every figure is the median of its runs, with the fastest and slowest beside
// it. The 25X Jumble takes --slow-runs runs (3 unless told), the rest --runs.
// The engine alone works on the first --engine-size MiB (64 unless told): its
// speed does not depend on the length, and the whole run stays within minutes.
// Peak memory is taken on a 32 MiB file for every case and on the full file for
// 7X, to show that it does not grow with the file.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "cli/app.h"
#include "engine/cipher/entropy.h"
#include "engine/cipher/generator.h"
#include "engine/cipher/jumble.h"
#include "engine/cipher/key_schedule.h"
#include "engine/cipher/keystream.h"
#include "engine/container/block_stream.h"
#include "engine/container/bytes.h"
#include "engine/container/job_context.h"
#include "jobs/file_jobs.h"
#include "engine/container/meter.h"
#include "jobs/job_kind.h"
#include "platform/platform.h"

namespace fs = std::filesystem;
using namespace corvane;

namespace {

using Clock = std::chrono::steady_clock;
constexpr double MIB = 1048576.0;
constexpr std::uint32_t JUMBLE_BLOCK = 524288;
constexpr std::uint32_t COPY_BLOCK = 524288;
const char16_t* const PASSWORD = u"correct horse battery staple";

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Stats {
    double median = 0, min = 0, max = 0;
    std::size_t runs = 0;
};

Stats stats_of(std::vector<double> v) {
    Stats s;
    if (v.empty()) return s;
    std::sort(v.begin(), v.end());
    s.runs = v.size();
    s.min = v.front();
    s.max = v.back();
    const std::size_t m = v.size() / 2;
    s.median = v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2;
    return s;
}

std::u16string u16(const fs::path& p) { return p.u16string(); }

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "corvane-bench: %s\n", what.c_str());
    std::exit(1);
}

void require_ok(StatusCode status, const char* what) {
    if (status != StatusCode::ok) die(std::string(what) + " failed with status " +
                                      std::to_string(static_cast<unsigned>(status)));
}

// --- Progress: how often the meter runs, and what one update costs ----------

std::uint64_t g_meter_ticks = 0;  // every meter update reads the tick once
std::uint32_t counting_tick() {
    ++g_meter_ticks;
    return platform::tick_ms();
}

class CountingSink : public ProgressSink {
public:
    std::uint64_t reports = 0;
    void on_progress(const ProgressMeter&) override { ++reports; }
};

// --- One variant of the cipher ----------------------------------------------

struct Case {
    const char* name;
    std::uint16_t schedule_version;
    std::uint32_t rounds;
    bool slow;
};

const Case CASES[] = {
    {"Stream", 3, 0, false},
    {"1X Jumble", 3, 1, false},
    {"7X Jumble", 3, 7, false},
    {"25X Jumble", 3, 25, true},
    {"7X Jumble, 256-word table", 2, 7, false},
};

// --- File jobs through the real drivers ---------------------------------------

// encrypt_file writes only the newest schedule variant; an older one is
// written with the same engine steps the driver takes, into a plain output.
StatusCode encrypt_older_variant(JobContext& job, const fs::path& source, const fs::path& output,
                                 std::uint16_t schedule_version, std::uint32_t rounds, ProgressSink* sink) {
    job.status = StatusCode::ok;
    job.header.bytes.fill(0);
    const std::u16string src = u16(source), out = u16(output);
    if (open_source(job, src.c_str()) == StatusCode::ok) {
        fill_header(job, rounds, JUMBLE_BLOCK, nullptr, u"source.bin");
        job.output_handle = platform::create_write(out.c_str());
        if (job.output_handle == platform::INVALID_FILE) {
            (void)fail(job, StatusCode::create_failed);
        } else {
            meter_start(job, job.header.file_size(), sink);
            seed_header(job);
            job.header.set_schedule_version(schedule_version);
            if (schedule_key(job, PASSWORD) == StatusCode::ok) (void)write_stream(job);
        }
    }
    release_job(job);
    return job.status;
}

StatusCode run_encrypt(const Case& c, const fs::path& source, const fs::path& output, ProgressSink* sink) {
    auto job = std::make_unique<JobContext>();
    if (c.schedule_version != CURRENT_SCHEDULE_VERSION)
        return encrypt_older_variant(*job, source, output, c.schedule_version, c.rounds, sink);
    const std::u16string src = u16(source), out = u16(output);
    return encrypt_file(*job, src.c_str(), out.c_str(), nullptr, PASSWORD, nullptr,
                        requested_block_size(JUMBLE_BLOCK, c.rounds), c.rounds, sink);
}

StatusCode run_decrypt(const fs::path& container, const fs::path& output, ProgressSink* sink) {
    auto job = std::make_unique<JobContext>();
    const std::u16string in = u16(container), out = u16(output);
    return decrypt_file(*job, in.c_str(), out.c_str(), nullptr, PASSWORD, sink);
}

StatusCode run_test(const fs::path& container, ProgressSink* sink) {
    auto job = std::make_unique<JobContext>();
    const std::u16string in = u16(container);
    return test_file(*job, in.c_str(), sink);
}

std::uint32_t stored_block_size(const fs::path& container) {
    std::ifstream in(container, std::ios::binary);
    std::uint8_t head[HEADER_SIZE] = {};
    in.read(reinterpret_cast<char*>(head), HEADER_SIZE);
    return load32_le(head + header_offset::block_size);
}

bool same_contents(const fs::path& a, const fs::path& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    for (;;) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount()) return false;
        if (fa.gcount() == 0) return true;
        if (std::memcmp(ba.data(), bb.data(), static_cast<std::size_t>(fa.gcount())) != 0) return false;
    }
}

double plain_copy(const fs::path& source, const fs::path& output) {
    const std::u16string src = u16(source), out = u16(output);
    std::vector<std::uint8_t> buffer(COPY_BLOCK);
    const auto start = Clock::now();
    const platform::FileHandle in = platform::open_read(src.c_str());
    const platform::FileHandle to = platform::create_write(out.c_str());
    if (in == platform::INVALID_FILE || to == platform::INVALID_FILE) die("copy: cannot open the files");
    for (;;) {
        std::uint32_t got = 0, put = 0;
        if (!platform::read(in, buffer.data(), COPY_BLOCK, &got)) die("copy: read failed");
        if (got == 0) break;
        if (!platform::write(to, buffer.data(), got, &put) || put != got) die("copy: write failed");
    }
    platform::close(in);
    platform::close(to);
    return seconds_since(start);
}

// Writes bytes to a new file the way a job's temporary is made, then times
// the flush that every successful job ends with (finish_file), in ms.
double flush_ms(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    const std::u16string name = u16(path);
    const platform::FileHandle out = platform::create_new(name.c_str());
    if (out == platform::INVALID_FILE) die("flush: cannot create " + path.string());
    for (std::size_t off = 0; off < bytes.size(); off += COPY_BLOCK) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(COPY_BLOCK, bytes.size() - off));
        std::uint32_t put = 0;
        if (!platform::write(out, bytes.data() + off, n, &put) || put != n) die("flush: write failed");
    }
    const auto start = Clock::now();
    if (!platform::finish_file(out)) die("flush: finish_file failed");
    const double ms = 1000.0 * seconds_since(start);
    platform::close(out);
    fs::remove(path);
    return ms;
}

// One corvane-cli call, run in this process through the program's own
// entry (quiet, the password from a file); its time in seconds.
double cli_call(const std::vector<std::string>& words) {
    std::vector<std::u16string> args;
    for (const std::string& w : words) args.push_back(fs::path(w).u16string());
    const auto start = Clock::now();
    const int status = cli::run(args);
    const double seconds = seconds_since(start);
    if (status != 0) die("corvane-cli " + words.front() + " exited with " + std::to_string(status));
    return seconds;
}

// --- Peak memory of one job, in a fresh process ------------------------------

long status_kib(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::size_t len = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, len, field) == 0) return std::strtol(line.c_str() + len + 1, nullptr, 10);
    return -1;
}

// Runs in the child: one job, then the resident size before it and the peak.
int child_main(int argc, char** argv) {
    if (argc < 6) return 2;
    const std::string kind = argv[2];
    const Case c{"child", static_cast<std::uint16_t>(std::atoi(argv[3])),
                 static_cast<std::uint32_t>(std::atoi(argv[4])), false};
    const fs::path in = argv[5];
    const fs::path out = argc > 6 ? fs::path(argv[6]) : fs::path();
    const long before = status_kib("VmRSS:");
    StatusCode status = StatusCode::ok;
    if (kind == "encrypt") status = run_encrypt(c, in, out, nullptr);
    else if (kind == "decrypt") status = run_decrypt(in, out, nullptr);
    else status = run_test(in, nullptr);
    long peak = status_kib("VmHWM:");
    struct rusage usage {};
    if (getrusage(RUSAGE_SELF, &usage) == 0 && usage.ru_maxrss > peak) peak = usage.ru_maxrss;
    std::printf("%ld %ld %u\n", before, peak, static_cast<unsigned>(status));
    return 0;
}

struct Memory {
    long before_kib = 0, peak_kib = 0;
};

std::string shell_quoted(const fs::path& p) {
    std::string s = "'";
    for (char ch : p.string()) s += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return s + "'";
}

Memory measure_child(const std::string& self, const std::string& kind, const Case& c, const fs::path& in,
                     const fs::path& out) {
    std::string cmd = shell_quoted(self) + " --child " + kind + " " + std::to_string(c.schedule_version) + " " +
                      std::to_string(c.rounds) + " " + shell_quoted(in);
    if (!out.empty()) {
        cmd += ' ';
        cmd += shell_quoted(out);
    }
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr) die("cannot start the memory child");
    Memory m;
    unsigned status = 0;
    const int fields = std::fscanf(pipe, "%ld %ld %u", &m.before_kib, &m.peak_kib, &status);
    pclose(pipe);
    if (fields != 3 || status != 0) die("memory child for " + kind + " failed");
    return m;
}

// --- The engine alone, on memory ----------------------------------------------

// A keyed job whose generators stand where a real one's would after the key
// schedule, with the buffers of a stream pass.
std::unique_ptr<JobContext> keyed_job(const Case& c, std::uint32_t block_size) {
    auto job = std::make_unique<JobContext>();
    ContainerHeader& h = job->header;
    h.set_schedule_version(c.schedule_version);
    h.set_jumble_rounds(c.rounds);
    h.set_block_size(block_size);
    for (std::size_t i = 0; i < SALT_SIZE; ++i) h.salt()[i] = static_cast<std::uint8_t>(i * 37 + 11);
    h.set_digest_rounds(16384);
    h.set_key_rounds(8192);
    h.set_table_rounds(8192);
    require_ok(schedule_key(*job, PASSWORD), "schedule_key");
    require_ok(allocate_buffers(*job, block_size, c.rounds != 0, false), "allocate_buffers");
    return job;
}

// The per-block work of write_stream: keystream and plaintext sum, the Jumble,
// the block sum. The stored bytes go to out.
void engine_encrypt(JobContext& job, const std::uint8_t* in, std::uint8_t* out, std::size_t size,
                    std::uint32_t block_size, std::vector<std::uint32_t>& sums) {
    const bool jumble = job.header.jumble_rounds() != 0;
    sums.clear();
    for (std::size_t off = 0; off < size; off += block_size) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block_size, size - off));
        std::memcpy(job.block_buffer, in + off, n);
        if (jumble) {
            encipher_bytes(job, job.block_buffer, n);
            if (!jumble_block(job, n)) die("jumble_block stopped");
            sums.push_back(gather_and_sum(out + off, job.block_buffer, job.jumble_map, n));
        } else {
            sums.push_back(encipher_and_sum(job, job.block_buffer, n));
            std::memcpy(out + off, job.block_buffer, n);
        }
    }
}

// The per-block work of read_stream: block sum, the Jumble undone, keystream
// and plaintext sum.
void engine_decrypt(JobContext& job, const std::uint8_t* in, std::uint8_t* out, std::size_t size,
                    std::uint32_t block_size, std::vector<std::uint32_t>& sums) {
    const bool jumble = job.header.jumble_rounds() != 0;
    sums.clear();
    for (std::size_t off = 0; off < size; off += block_size) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block_size, size - off));
        sums.push_back(rot_sum(in + off, n));
        if (jumble) {
            if (!jumble_block(job, n)) die("jumble_block stopped");
            scatter_block(out + off, in + off, job.jumble_map, n);
        } else {
            std::memcpy(out + off, in + off, n);
        }
        decipher_bytes(job, out + off, n);
    }
}

std::uint32_t engine_test(const std::uint8_t* in, std::size_t size, std::uint32_t block_size) {
    std::uint32_t all = 0;
    for (std::size_t off = 0; off < size; off += block_size) {
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(block_size, size - off));
        all ^= rot_sum(in + off, n);
    }
    return all;
}

// --- Output -------------------------------------------------------------------

struct Row {
    std::string section, name, operation;
    std::uint32_t block_size = 0;
    Stats s;
    std::string unit;
    double copy_share = -1;  // the figure as a share of the copy's speed
    std::string note;
};

std::vector<Row> g_rows;

void print_row(const Row& r) {
    char share[32] = "";
    if (r.copy_share >= 0) std::snprintf(share, sizeof share, "%6.1f %%", 100.0 * r.copy_share);
    char block[32] = "";
    if (r.block_size != 0) std::snprintf(block, sizeof block, "%u KiB", r.block_size / 1024);
    std::printf("%-28s %-9s %9s %10.1f %10.1f %10.1f %-6s %zu %9s  %s\n", r.name.c_str(), r.operation.c_str(), block,
                r.s.median, r.s.min, r.s.max, r.unit.c_str(), r.s.runs, share, r.note.c_str());
    std::fflush(stdout);
}

void add_row(Row r) {
    print_row(r);
    g_rows.push_back(std::move(r));
}

void heading(const char* title) {
    std::printf("\n%s\n%-28s %-9s %9s %10s %10s %10s %-6s %s %9s\n", title, "case", "operation", "block", "median",
                "min", "max", "unit", "n", "of copy");
}

void write_csv(const fs::path& path) {
    std::ofstream out(path);
    out << "section,case,operation,block_size,runs,median,min,max,unit,share_of_copy,note\n";
    for (const Row& r : g_rows) {
        out << r.section << ",\"" << r.name << "\"," << r.operation << "," << r.block_size << "," << r.s.runs << ","
            << r.s.median << "," << r.s.min << "," << r.s.max << "," << r.unit << ",";
        if (r.copy_share >= 0) out << r.copy_share;
        out << ",\"" << r.note << "\"\n";
    }
}

struct Options {
    std::size_t size_mib = 256;
    std::size_t engine_mib = 64;
    std::size_t runs = 5;
    std::size_t slow_runs = 3;
    fs::path dir;
    fs::path csv = "results.csv";
};

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--size" && has_value) o.size_mib = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--engine-size" && has_value) o.engine_mib = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--runs" && has_value) o.runs = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--slow-runs" && has_value) o.slow_runs = std::strtoul(argv[++i], nullptr, 10);
        else if (a == "--dir" && has_value) o.dir = argv[++i];
        else if (a == "--csv" && has_value) o.csv = argv[++i];
        else die("usage: corvane-bench [--size MIB] [--engine-size MIB] [--runs N] [--slow-runs N] [--dir FOLDER] "
                "[--csv FILE]");
    }
    if (o.size_mib == 0 || o.engine_mib == 0 || o.runs == 0 || o.slow_runs == 0)
        die("sizes and run counts must be positive");
    o.engine_mib = std::min(o.engine_mib, o.size_mib);
    if (o.dir.empty()) {
        std::error_code ec;
        o.dir = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    }
    return o;
}

std::string load_text() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0) return child_main(argc, argv);
    const Options opt = parse(argc, argv);
    const std::string self = fs::canonical("/proc/self/exe").string();

    const fs::path work = opt.dir / ("corvane-bench-" + std::to_string(getpid()));
    fs::create_directories(work);
    const fs::path source = work / "source.bin";
    const fs::path copy = work / "copy.bin";
    const fs::path container = work / "source.qvk";
    const fs::path restored = work / "restored.bin";
    const std::size_t size = opt.size_mib * 1048576;
    const double size_mib = static_cast<double>(size) / MIB;

    std::vector<std::uint8_t> data(size);
    {
        std::mt19937_64 rng(20240611);
        for (std::size_t i = 0; i + 8 <= size; i += 8) {
            const std::uint64_t x = rng();
            std::memcpy(&data[i], &x, 8);
        }
        std::ofstream out(source, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(size));
    }

    std::printf("corvane-bench: %zu MiB of random bytes in %s; %zu runs per figure (25X: %zu); load average %s\n",
                opt.size_mib, opt.dir.string().c_str(), opt.runs, opt.slow_runs, load_text().c_str());
    std::printf("MiB/s = 1048576 bytes of plaintext per second; \"of copy\" = the speed as a share of the plain copy's.\n");

    job_clock().tick_ms = &counting_tick;

    // The copy is measured before and after the jobs, and its median taken over both.
    std::vector<double> copy_speeds;
    auto measure_copy = [&] {
        for (std::size_t r = 0; r < opt.runs; ++r) copy_speeds.push_back(size_mib / plain_copy(source, copy));
        fs::remove(copy);
    };
    measure_copy();

    struct Progress {
        std::string name;
        std::uint64_t updates = 0, reports = 0;
        double job_seconds = 0;
    };
    std::vector<Progress> progress;
    std::vector<Row> file_rows;

    heading("File to file, through encrypt_file / decrypt_file / test_file");
    const Stats copy_first = stats_of(copy_speeds);
    for (const Case& c : CASES) {
        const std::size_t runs = c.slow ? opt.slow_runs : opt.runs;
        std::vector<double> enc, dec, tst;
        std::uint64_t updates = 0, reports = 0;
        for (std::size_t r = 0; r < runs; ++r) {
            CountingSink sink;
            g_meter_ticks = 0;
            auto start = Clock::now();
            require_ok(run_encrypt(c, source, container, &sink), "encrypt");
            enc.push_back(size_mib / seconds_since(start));
            updates = g_meter_ticks;
            reports = sink.reports;

            start = Clock::now();
            require_ok(run_decrypt(container, restored, &sink), "decrypt");
            dec.push_back(size_mib / seconds_since(start));
            if (r == 0 && !same_contents(source, restored)) die(std::string(c.name) + ": decrypted file differs");
            fs::remove(restored);

            start = Clock::now();
            require_ok(run_test(container, &sink), "test");
            tst.push_back(size_mib / seconds_since(start));
        }
        const std::uint32_t used = stored_block_size(container);
        const std::string note = c.schedule_version == CURRENT_SCHEDULE_VERSION ? "" : "encrypt by the engine steps";
        for (auto [op, v] : {std::pair{"encrypt", &enc}, std::pair{"decrypt", &dec}, std::pair{"test", &tst}}) {
            Row row{"file", c.name, op, used, stats_of(*v), "MiB/s", -1, op == std::string("encrypt") ? note : ""};
            row.copy_share = row.s.median / copy_first.median;
            add_row(row);
            file_rows.push_back(row);
        }
        progress.push_back({c.name, updates, reports, size_mib / stats_of(enc).median});
    }

    const std::string engine_title = "Engine alone on " + std::to_string(opt.engine_mib) +
                                     " MiB of memory (keystream, Jumble, gather/scatter, block sums)";
    heading(engine_title.c_str());
    {
        const std::size_t engine_size = opt.engine_mib * 1048576;
        const double engine_mib = static_cast<double>(engine_size) / MIB;
        const std::vector<std::uint8_t> head(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(engine_size));
        std::vector<std::uint8_t> cipher(engine_size), plain(engine_size);
        std::vector<std::uint32_t> enc_sums, dec_sums;
        for (const Case& c : CASES) {
            const std::size_t runs = c.slow ? opt.slow_runs : opt.runs;
            const std::uint32_t block = requested_block_size(JUMBLE_BLOCK, c.rounds);
            auto job = keyed_job(c, block);
            const CipherState keyed = job->cipher;
            std::vector<double> enc, dec, tst;
            for (std::size_t r = 0; r < runs; ++r) {
                job->cipher = keyed;
                job->plain_sum = 0;
                auto start = Clock::now();
                engine_encrypt(*job, head.data(), cipher.data(), engine_size, block, enc_sums);
                enc.push_back(engine_mib / seconds_since(start));
                const std::uint32_t written_sum = job->plain_sum;

                job->cipher = keyed;
                job->plain_sum = 0;
                start = Clock::now();
                engine_decrypt(*job, cipher.data(), plain.data(), engine_size, block, dec_sums);
                dec.push_back(engine_mib / seconds_since(start));
                if (r == 0 && (plain != head || enc_sums != dec_sums || job->plain_sum != written_sum))
                    die(std::string(c.name) + ": the engine's round trip differs");

                start = Clock::now();
                volatile std::uint32_t sink = engine_test(cipher.data(), engine_size, block);
                (void)sink;
                tst.push_back(engine_mib / seconds_since(start));
            }
            for (auto [op, v] : {std::pair{"encrypt", &enc}, std::pair{"decrypt", &dec}, std::pair{"test", &tst}}) {
                Row row{"engine", c.name, op, block, stats_of(*v), "MiB/s", -1, ""};
                row.copy_share = row.s.median / copy_first.median;
                add_row(row);
            }
            release_job(*job);
        }
    }

    // The ceiling the cipher leaves: one generator step with its table swap,
    // alone in a loop, at both table sizes. Stream needs one step per byte, an
    // R-round Jumble 1 + R, so 1 / ((1 + R) x step) bounds every figure above.
    heading("The algorithm's ceiling: one generator step with its swap, alone in a loop");
    for (const std::uint32_t mask : {1023u, 255u}) {
        auto job = std::make_unique<JobContext>();
        for (std::uint32_t x = 0; x <= mask; ++x) job->cipher.key_table[x] = (x * 389u) & mask;
        constexpr std::uint64_t STEPS = std::uint64_t{1} << 26;
        std::vector<double> ns;
        std::uint32_t i = 0, j = 0, sw = 0, acc = 0;
        for (std::size_t r = 0; r < opt.runs; ++r) {
            const auto start = Clock::now();
            for (std::uint64_t k = 0; k < STEPS; ++k)
                acc += cipher_detail::generator_step(job->cipher.key_table, mask, i, j, sw);
            ns.push_back(1e9 * seconds_since(start) / static_cast<double>(STEPS));
        }
        volatile std::uint32_t keep = acc;
        (void)keep;
        const Stats st = stats_of(ns);
        char note[96];
        std::snprintf(note, sizeof note, "bounds: Stream %.0f, 1X %.0f, 7X %.1f, 25X %.1f MiB/s", 1e9 / st.median / MIB,
                      1e9 / (2 * st.median) / MIB, 1e9 / (8 * st.median) / MIB, 1e9 / (26 * st.median) / MIB);
        add_row({"ceiling", mask == 1023 ? "generator step, 1024 words" : "generator step, 256 words", "step", 0, st,
                 "ns", -1, note});
    }

    heading("Key schedule at the largest round counts (1048576 digest, key and table rounds)");
    {
        const fs::path keyfile = work / "key.bin";
        {
            std::ofstream out(keyfile, std::ios::binary);
            out.write(reinterpret_cast<const char*>(data.data()), 65536);
        }
        const std::u16string key16 = u16(keyfile);
        for (const bool with_keyfile : {false, true}) {
            std::vector<double> ms;
            for (std::size_t r = 0; r < opt.runs; ++r) {
                auto job = std::make_unique<JobContext>();
                ContainerHeader& h = job->header;
                h.set_flags(FLAG_MIXED_KEYFILE);
                h.set_schedule_version(CURRENT_SCHEDULE_VERSION);
                for (std::size_t i = 0; i < SALT_SIZE; ++i) h.salt()[i] = static_cast<std::uint8_t>(i * 91 + 7);
                h.set_digest_rounds(1048576);
                h.set_key_rounds(1048576);
                h.set_table_rounds(1048576);
                const auto start = Clock::now();
                if (with_keyfile) job->keyfile_handle = platform::open_read(key16.c_str());
                require_ok(schedule_key(*job, PASSWORD), "schedule_key");
                ms.push_back(1000.0 * seconds_since(start));
                release_job(*job);
            }
            add_row({"schedule", with_keyfile ? "with a 64 KiB key file" : "password only", "schedule", 0, stats_of(ms),
                     "ms", -1, ""});
        }
    }

    // The cost of the flush to stable storage that makes "completed
    // successfully" survive a power cut: nothing on memory, a disk's worth on
    // the root file system's temporary folder.
    heading("Flush to stable storage: a Stream encryption and the flush alone, on memory and on the root file system");
    {
        const std::size_t flush_size = std::min<std::size_t>(64, opt.size_mib) * 1048576;
        const double flush_mib = static_cast<double>(flush_size) / MIB;
        const std::vector<std::uint8_t> slice(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(flush_size));
        std::error_code ec;
        const fs::path disk = fs::is_directory("/var/tmp", ec) ? fs::path("/var/tmp") : fs::temp_directory_path();
        for (const fs::path& where : {opt.dir, disk}) {
            const fs::path folder = where / ("corvane-bench-flush-" + std::to_string(getpid()));
            fs::create_directories(folder);
            {
                std::ofstream out(folder / "slice.bin", std::ios::binary);
                out.write(reinterpret_cast<const char*>(slice.data()), static_cast<std::streamsize>(flush_size));
            }
            std::vector<double> enc, flush;
            for (std::size_t r = 0; r < opt.runs; ++r) {
                const auto start = Clock::now();
                require_ok(run_encrypt(CASES[0], folder / "slice.bin", folder / "slice.qvk", nullptr), "encrypt");
                enc.push_back(flush_mib / seconds_since(start));
                fs::remove(folder / "slice.qvk");
                flush.push_back(flush_ms(folder / "flushed.bin", slice));
            }
            const Stats e = stats_of(enc);
            const Stats f = stats_of(flush);
            char note[96];
            std::snprintf(note, sizeof note, "%.1f %% of the encryption's time", 100.0 * f.median / (1000.0 * flush_mib / e.median));
            add_row({"flush", where.string() + ", Stream", "encrypt", 0, e, "MiB/s", e.median / copy_first.median, ""});
            add_row({"flush", where.string() + ", " + std::to_string(flush_size >> 20) + " MiB", "flush", 0, f, "ms", -1,
                     note});
            fs::remove_all(folder, ec);
        }
    }

    // Batches through corvane-cli's own runner: many files, one job each, one
    // or two at a time on this machine's cores.
    heading("Batches through corvane-cli: -j 2 against -j 1 (speed-up in the note)");
    {
        const fs::path folder = work / "batch";
        fs::create_directories(folder);
        {
            std::ofstream pw(folder / "pw");
            pw << "batch password";
        }
        const std::string password = (folder / "pw").string();
        constexpr int BIG_FILES = 8;
        const std::size_t big = std::min<std::size_t>(32, opt.size_mib) * 1048576;
        std::vector<std::string> big_names;
        for (int i = 0; i < BIG_FILES; ++i) {
            const fs::path p = folder / ("big" + std::to_string(i) + ".bin");
            std::ofstream out(p, std::ios::binary);
            out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(big));
            big_names.push_back(p.string());
        }
        constexpr int SMALL_FILES = 200;
        std::vector<std::string> small_names;
        for (int i = 0; i < SMALL_FILES; ++i) {
            const fs::path p = folder / ("small" + std::to_string(i) + ".bin");
            std::ofstream out(p, std::ios::binary);
            out.write(reinterpret_cast<const char*>(data.data()) + i, 65536);
            small_names.push_back(p.string());
        }
        std::vector<std::string> small_containers;
        {
            std::vector<std::string> args = {"encrypt", "-q", "-j", "2", "-r", "7", "--password-file", password};
            args.insert(args.end(), small_names.begin(), small_names.end());
            (void)cli_call(args);
            for (int i = 0; i < SMALL_FILES; ++i)
                small_containers.push_back((folder / ("small" + std::to_string(i) + ".qvk")).string());
        }
        const double big_mib = static_cast<double>(BIG_FILES * big) / MIB;
        const double small_mib = SMALL_FILES * 65536.0 / MIB;
        for (const bool testing : {false, true}) {
            // -j 1 and -j 2 take turns, so that both meet the same state of a
            // shared machine; the call of small files lasts milliseconds, so
            // it gets ten times the runs.
            std::vector<double> v[2];
            const std::size_t runs = testing ? 10 * opt.runs : opt.runs;
            for (std::size_t r = 0; r < runs; ++r) {
                for (const int jobs : {1, 2}) {
                    std::vector<std::string> args;
                    if (testing) {
                        args = {"test", "-q", "-j", std::to_string(jobs)};
                        args.insert(args.end(), small_containers.begin(), small_containers.end());
                    } else {
                        args = {"encrypt", "-q", "-f", "-j", std::to_string(jobs), "-r", "7", "--password-file",
                                password};
                        args.insert(args.end(), big_names.begin(), big_names.end());
                    }
                    v[jobs - 1].push_back((testing ? small_mib : big_mib) / cli_call(args));
                }
            }
            const Stats speeds[2] = {stats_of(v[0]), stats_of(v[1])};
            char note[64];
            std::snprintf(note, sizeof note, "-j 2 is %.2f times -j 1", speeds[1].median / speeds[0].median);
            const std::string name = testing ? "test, 200 x 64 KiB" : "encrypt 7X, 8 x " + std::to_string(big >> 20) + " MiB";
            add_row({"batch", name, "-j 1", 0, speeds[0], "MiB/s", -1, ""});
            add_row({"batch", name, "-j 2", 0, speeds[1], "MiB/s", -1, note});
        }
        std::error_code ec;
        fs::remove_all(folder, ec);
    }

    std::printf("\nPeak memory of one job in a fresh process (VmHWM; job = peak less the resident size before "
                "it; limit 8 MiB + 7 x block size)\n");
    std::printf("%-28s %-9s %9s %6s %12s %12s %12s\n", "case", "operation", "block", "file", "peak KiB", "job KiB",
                "limit KiB");
    {
        const std::size_t small_mib = std::min<std::size_t>(32, opt.size_mib);
        const fs::path small = work / "small.bin";
        {
            std::ofstream out(small, std::ios::binary);
            out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(small_mib * 1048576));
        }
        auto measure = [&](const Case& c, const fs::path& file, std::size_t mib) {
            const std::uint32_t block = requested_block_size(JUMBLE_BLOCK, c.rounds);
            const long limit = static_cast<long>((8u * 1048576u + 7u * static_cast<std::uint64_t>(block)) / 1024u);
            const Memory e = measure_child(self, "encrypt", c, file, container);
            const Memory d = measure_child(self, "decrypt", c, container, restored);
            const Memory t = measure_child(self, "test", c, container, fs::path());
            fs::remove(restored);
            for (auto [op, m] : {std::pair{"encrypt", e}, std::pair{"decrypt", d}, std::pair{"test", t}}) {
                const long job_kib = m.peak_kib - m.before_kib;
                std::printf("%-28s %-9s %5u KiB %2zu MiB %12ld %12ld %12ld%s\n", c.name, op, block / 1024, mib,
                            m.peak_kib, job_kib, limit, job_kib > limit ? "  OVER" : "");
                const auto kib = static_cast<double>(job_kib);
                g_rows.push_back({"memory", c.name, op, block, {kib, kib, kib, 1}, "KiB", -1,
                                  std::to_string(mib) + " MiB file; peak " + std::to_string(m.peak_kib) + " KiB"});
            }
        };
        for (const Case& c : CASES) measure(c, small, small_mib);
        measure(CASES[2], source, opt.size_mib);
        fs::remove(small);
    }

    // One meter update, timed over many, against the updates a job makes.
    std::printf("\nProgress meter: updates per encryption and their share of its time\n");
    {
        auto job = std::make_unique<JobContext>();
        CountingSink sink;
        meter_start(*job, ~0ull >> 1, &sink);
        constexpr int UPDATES = 1000000;
        const auto start = Clock::now();
        for (int k = 0; k < UPDATES; ++k) meter_advance(*job, 1);
        const double per_update = seconds_since(start) / UPDATES;
        std::printf("one update: %.1f ns\n", per_update * 1e9);
        std::printf("%-28s %10s %10s %12s\n", "case", "updates", "reports", "share");
        for (const Progress& p : progress) {
            const double share = static_cast<double>(p.updates) * per_update / p.job_seconds;
            std::printf("%-28s %10llu %10llu %11.4f %%\n", p.name.c_str(), static_cast<unsigned long long>(p.updates),
                        static_cast<unsigned long long>(p.reports), 100.0 * share);
            g_rows.push_back({"progress", p.name, "encrypt", 0, {100.0 * share, 100.0 * share, 100.0 * share, 1},
                              "percent", -1, std::to_string(p.updates) + " updates"});
        }
    }

    measure_copy();
    const Stats copy_all = stats_of(copy_speeds);
    heading("Plain copy (read and write, 512 KiB at a time), before and after the jobs");
    add_row({"copy", "plain copy", "copy", COPY_BLOCK, copy_all, "MiB/s", 1.0, ""});
    std::printf("(shares above are of the copy's first median, %.1f MiB/s; load average now %s)\n", copy_first.median,
                load_text().c_str());

    write_csv(opt.csv);
    std::printf("CSV: %s\n", opt.csv.string().c_str());
    std::error_code ec;
    fs::remove_all(work, ec);
    return 0;
}
