// corvane-cli against what only a POSIX system puts in its way: FIFOs,
// pipes, devices and sockets where files belong, signals in the middle of a
// job, links at the output, and the permissions of what it writes.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "tests/cli/cli_fixture.h"

namespace corvane::testing {
namespace {

const std::string NOT_REGULAR = "Not a regular file";
const std::string SAVE_ERROR = "Save Error: The file cannot be saved.";

// Waits for the child at most limit; a child still running then is killed
// and reported, so a program that hangs fails the test instead of the suite.
ProcessResult wait_at_most(const RunningProcess& p, std::chrono::seconds limit, bool* hung) {
    const auto until = std::chrono::steady_clock::now() + limit;
    *hung = false;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(static_cast<pid_t>(p.id), &status, WNOHANG);
        if (done == static_cast<pid_t>(p.id)) {
            ProcessResult r;
            r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            std::ifstream out(p.io_dir / "stdout", std::ios::binary), err(p.io_dir / "stderr", std::ios::binary);
            r.out.assign(std::istreambuf_iterator<char>(out), std::istreambuf_iterator<char>());
            r.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
            return r;
        }
        if (std::chrono::steady_clock::now() > until) {
            *hung = true;
            kill(static_cast<pid_t>(p.id), SIGKILL);
            return wait_process(p);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// The writing end of a FIFO once a reader has opened it; -1 if none does
// within ten seconds, so a broken program cannot block the test for good.
int open_writer(const fs::path& fifo) {
    for (int i = 0; i < 500; ++i) {
        const int fd = open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

class PosixSurroundings : public Cli {
protected:
    ProcessResult run_bounded(const std::vector<std::string>& args) {
        bool hung = false;
        ProcessResult r = wait_at_most(start_process(cli_program(), args, dir_, io_), std::chrono::seconds(60), &hung);
        EXPECT_FALSE(hung) << "the program did not end by itself";
        return r;
    }

    void fifo(const std::string& name) { ASSERT_EQ(mkfifo((dir_ / name).c_str(), 0600), 0) << std::strerror(errno); }

    // A listening Unix socket at name; the descriptor stays open for the test.
    int socket_at(const std::string& name) {
        const int s = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = (dir_ / name).string();
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
        return s;
    }
};

TEST_F(PosixSurroundings, OnlyRegularFilesAreReadAndTheRefusalIsImmediate) {
    put("data.bin", "plain data");
    write_file(dir_ / "key", pattern_bytes(100, 3));
    encrypt_ok("data.bin", {"-o", "data.qvk"});
    fifo("fifo");
    // A pipe the child inherits, like the one behind <(command).
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    ASSERT_GE(write(ends[1], "piped data", 10), 0);
    const std::string piped = "/dev/fd/" + std::to_string(ends[0]);
    const struct {
        const char* label;
        std::vector<std::string> args;
        std::string named;
    } cases[] = {
        {"a FIFO as the source", {"encrypt", "fifo", "-o", "out.qvk", "--password-file", "pw"}, "fifo"},
        {"a pipe as the source", {"encrypt", piped, "-o", "out.qvk", "--password-file", "pw"}, piped},
        {"a device as the source", {"encrypt", "/dev/zero", "-o", "out.qvk", "--password-file", "pw"}, "/dev/zero"},
        {"a FIFO as the container", {"decrypt", "fifo", "-o", "out", "--password-file", "pw"}, "fifo"},
        {"a FIFO to test", {"test", "fifo"}, "fifo"},
        {"a FIFO to look at", {"info", "fifo"}, "fifo"},
        {"a FIFO as the key file", {"encrypt", "data.bin", "-o", "out.qvk", "-k", "fifo", "--password-file", "pw"},
         "fifo"},
        {"a device as the key file",
         {"encrypt", "data.bin", "-o", "out.qvk", "-k", "/dev/urandom", "--password-file", "pw"}, "/dev/urandom"},
        {"a device as the container's key file",
         {"decrypt", "data.qvk", "-o", "out", "-k", "/dev/urandom", "--password-file", "pw"}, "/dev/urandom"},
    };
    const auto before = entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const ProcessResult r = run_bounded(c.args);
        EXPECT_EQ(r.exit_code, 14);
        EXPECT_EQ(r.err, failure(c.named, OPEN_ERROR, 14, NOT_REGULAR));
        EXPECT_EQ(entries(), before);
    }
    close(ends[0]);
    close(ends[1]);
}

TEST_F(PosixSurroundings, OnlyRegularFilesOrLinksAreReplaced) {
    put("data.bin", "plain data");
    put("pw", "pw");
    fifo("fifo");
    const int s = socket_at("socket");
    fs::create_directory(dir_ / "folder");
    std::vector<std::string> targets = {"fifo", "socket", "folder"};
    // A device node needs root; "null" here is this test's own, never the system's.
    if (mknod((dir_ / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) targets.push_back("null");
    const auto before = entries();
    for (const std::string& target : targets) {
        for (const bool force : {false, true}) {
            SCOPED_TRACE(target + (force ? " with --force" : ""));
            std::vector<std::string> args = {"encrypt", "data.bin", "-o", target, "--password-file", "pw"};
            if (force) args.push_back("-f");
            const ProcessResult r = run_bounded(args);
            EXPECT_EQ(r.exit_code, 16);
            EXPECT_EQ(r.err, failure(target, SAVE_ERROR, 16, NOT_REGULAR));
            EXPECT_EQ(entries(), before);
        }
    }
    struct stat st {};
    if (lstat((dir_ / "null").c_str(), &st) == 0) {
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device node stays";
    }
    EXPECT_TRUE(fs::is_fifo(dir_ / "fifo"));
    EXPECT_TRUE(fs::is_socket(dir_ / "socket"));
    close(s);
}

TEST_F(PosixSurroundings, ALinkAtTheOutputIsAnExistingOutputAndIsReplacedAsALink) {
    put("data.bin", "plain data");
    put("pw", "pw");
    fs::create_symlink("nowhere.qvk", dir_ / "dangling.qvk");
    put("victim", "must not be written through");
    fs::create_symlink("victim", dir_ / "pointing.qvk");

    const ProcessResult refused = run_bounded({"encrypt", "data.bin", "-o", "dangling.qvk", "--password-file", "pw"});
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_EQ(refused.err, "corvane-cli: 'dangling.qvk' already exists; use --force to replace it\n");
    EXPECT_TRUE(fs::is_symlink(dir_ / "dangling.qvk"));
    EXPECT_FALSE(fs::exists(dir_ / "nowhere.qvk"));

    const ProcessResult forced =
        run_bounded({"encrypt", "data.bin", "-o", "pointing.qvk", "-f", "-q", "--password-file", "pw"});
    ASSERT_EQ(forced.exit_code, 0) << forced.err;
    EXPECT_FALSE(fs::is_symlink(dir_ / "pointing.qvk"));
    EXPECT_TRUE(fs::is_regular_file(dir_ / "pointing.qvk"));
    EXPECT_EQ(text_of(read_file(dir_ / "victim")), "must not be written through");
    const ProcessResult back = run_bounded({"decrypt", "pointing.qvk", "-o", "back", "-q", "--password-file", "pw"});
    ASSERT_EQ(back.exit_code, 0) << back.err;
    EXPECT_EQ(text_of(read_file(dir_ / "back")), "plain data");
}

TEST_F(PosixSurroundings, APasswordFileMayBeAFifoAndWaitingForItEndsOnCtrlC) {
    put("data.bin", "plain data");
    fifo("secret");
    // A writer that shows up a moment after the program started waiting.
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const int fd = open_writer(dir_ / "secret");
        if (fd >= 0) {
            (void)!write(fd, "fifo pw\n", 8);
            close(fd);
        }
    });
    const ProcessResult r = run_bounded({"encrypt", "data.bin", "-o", "data.qvk", "-q", "--password-file", "secret"});
    writer.join();
    ASSERT_EQ(r.exit_code, 0) << r.err;
    put("pw", "fifo pw");
    const ProcessResult back = run_bounded({"decrypt", "data.qvk", "-o", "back", "-q", "--password-file", "pw"});
    EXPECT_EQ(back.exit_code, 0) << back.err;

    // Nobody ever writes: Ctrl-C ends the wait.
    const auto before = entries();
    RunningProcess p = start_process(cli_program(), {"encrypt", "data.bin", "-o", "x.qvk", "--password-file", "secret"},
                                     dir_, io_);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    interrupt(p);
    bool hung = false;
    const ProcessResult stopped = wait_at_most(p, std::chrono::seconds(30), &hung);
    EXPECT_FALSE(hung);
    EXPECT_EQ(stopped.exit_code, 130);
    EXPECT_EQ(entries(), before);

    // A writer that never stops is read only as far as a password can reach.
    signal(SIGPIPE, SIG_IGN);
    std::atomic<bool> stop{false};
    std::thread flood([&] {
        const int fd = open_writer(dir_ / "secret");
        const std::string chunk(4096, 'x');
        while (fd >= 0 && !stop.load() && write(fd, chunk.data(), chunk.size()) > 0) {
        }
        if (fd >= 0) close(fd);
    });
    const ProcessResult long_one = run_bounded({"encrypt", "data.bin", "-o", "x.qvk", "--password-file", "secret"});
    stop.store(true);
    flood.join();
    EXPECT_EQ(long_one.exit_code, 2);
    EXPECT_NE(long_one.err.find("the password is longer than 255 characters"), std::string::npos) << long_one.err;
}

TEST_F(PosixSurroundings, EveryCatchableEndingCancelsAndRemovesTheTemporary) {
    write_big_file(dir_ / "big.bin", 64, 31);
    encrypt_ok("big.bin", {"-o", "big.qvk", "-r", "25", "-b", "1048576"});
    const struct {
        const char* label;
        int signal_number;
        std::vector<std::string> args;
    } cases[] = {
        {"SIGTERM while encrypting", SIGTERM, {"encrypt", "big.bin", "-o", "new.qvk", "-r", "25", "--password-file", "pw"}},
        {"SIGHUP while encrypting", SIGHUP, {"encrypt", "big.bin", "-o", "new.qvk", "-r", "25", "--password-file", "pw"}},
        {"SIGTERM while decrypting", SIGTERM, {"decrypt", "big.qvk", "-o", "plain", "--password-file", "pw"}},
        {"SIGHUP while decrypting", SIGHUP, {"decrypt", "big.qvk", "-o", "plain", "--password-file", "pw"}},
        {"SIGQUIT while encrypting", SIGQUIT, {"encrypt", "big.bin", "-o", "new.qvk", "-r", "25", "--password-file", "pw"}},
    };
    const auto before = entries();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RunningProcess p = start_process(cli_program(), c.args, dir_, io_);
        ASSERT_TRUE(wait_for_entries(dir_, before.size() + 1));
        kill(static_cast<pid_t>(p.id), c.signal_number);
        bool hung = false;
        const ProcessResult r = wait_at_most(p, std::chrono::seconds(60), &hung);
        EXPECT_FALSE(hung);
        EXPECT_EQ(r.exit_code, 128 + c.signal_number);
        EXPECT_EQ(r.err, "corvane-cli: cancelled\n");
        EXPECT_EQ(entries(), before);
    }
}

TEST_F(PosixSurroundings, AnEndingDuringAParallelBatchLeavesNothingOfAnyJob) {
    for (int i = 0; i < 4; ++i) write_big_file(dir_ / ("part" + std::to_string(i) + ".bin"), 24, static_cast<std::uint8_t>(50 + i));
    put("pw", "pw");
    const auto before = entries();
    RunningProcess p = start_process(cli_program(),
                                     {"encrypt", "part0.bin", "part1.bin", "part2.bin", "part3.bin", "-j", "2", "-r", "25",
                                      "--password-file", "pw"},
                                     dir_, io_);
    // Both running jobs have their temporaries: the ending lands in the middle of two jobs.
    ASSERT_TRUE(wait_for_entries(dir_, before.size() + 2));
    interrupt(p);
    bool hung = false;
    const ProcessResult r = wait_at_most(p, std::chrono::seconds(60), &hung);
    EXPECT_FALSE(hung);
    EXPECT_EQ(r.exit_code, 130);
    EXPECT_EQ(r.err, "corvane-cli: cancelled\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(entries(), before);
}

TEST_F(PosixSurroundings, TheTemporaryIsPrivateAndTheResultGetsTheUmasksMode) {
    write_big_file(dir_ / "big.bin", 32, 41);
    put("pw", "pw");
    const mode_t saved = umask(027);
    const auto before = entries();
    RunningProcess p =
        start_process(cli_program(), {"encrypt", "big.bin", "-o", "big.qvk", "-r", "25", "-q", "--password-file", "pw"},
                      dir_, io_);
    umask(saved);
    ASSERT_TRUE(wait_for_entries(dir_, before.size() + 1));
    bool seen = false;
    for (const auto& e : fs::directory_iterator(dir_)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(".big.qvk.", 0) == 0 && name.size() > 4 && name.substr(name.size() - 4) == ".tmp") {
            struct stat st {};
            ASSERT_EQ(stat(e.path().c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
            seen = true;
        }
    }
    EXPECT_TRUE(seen) << "the temporary was found while the job ran";
    bool hung = false;
    const ProcessResult r = wait_at_most(p, std::chrono::seconds(300), &hung);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(stat((dir_ / "big.qvk").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace corvane::testing
