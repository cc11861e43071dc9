// corvane-cli from the outside: the real program on real files in a scratch
// folder, checking exit status, messages and what is left on disk.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/cli_fixture.h"

namespace corvane::testing {
namespace {

// --- Round trips ------------------------------------------------------------------

TEST_F(Cli, RoundTripsAcrossSizesSchemesKeyFilesAndPasswordSources) {
    const struct {
        const char* label;
        std::size_t size;
        std::vector<std::string> options;  // encryption options
        bool keyfile;
        std::string password;  // as stored in the password file
    } cases[] = {
        {"empty", 0, {}, false, "pw"},
        {"one byte", 1, {}, false, "pw"},
        {"31 bytes, short file", 31, {"-r", "3"}, false, "pw"},
        {"32 bytes", 32, {}, false, "pw"},
        {"33 bytes", 33, {}, false, "pw"},
        {"stream with a large block request", 300000, {"-r", "0", "-b", "1048576"}, false, "pw"},
        {"several blocks", 200001, {"-r", "2", "-b", "32768"}, true, "pw"},
        {"odd block size", 70000, {"-r", "1", "-b", "1000"}, false, "pw"},
        {"empty password", 5000, {}, false, ""},
        {"non-ASCII password and key file", 40000, {"-r", "25"}, true, "p\xC3\xA4ss w\xC3\xB6rd \xD0\xBA\xF0\x9F\x94\x91"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        dir_ = scratch_dir() / std::to_string(&c - cases);
        fs::create_directories(dir_);
        const Bytes plain = pattern_bytes(c.size, static_cast<std::uint32_t>(c.size) + 7);
        write_file(dir_ / "data.bin", plain);
        put("pw", c.password);
        if (c.keyfile) write_file(dir_ / "key", pattern_bytes(100000, 99));

        std::vector<std::string> enc = {"encrypt", "data.bin", "--password-file", "pw"};
        enc.insert(enc.end(), c.options.begin(), c.options.end());
        if (c.keyfile) enc.insert(enc.end(), {"-k", "key"});
        const ProcessResult e = run(enc);
        ASSERT_EQ(e.exit_code, 0) << e.err;
        EXPECT_EQ(e.out, "Encryption completed successfully.\n");
        EXPECT_EQ(e.err, "");
        ASSERT_TRUE(fs::exists(dir_ / "data.qvk"));
        EXPECT_EQ(read_file(dir_ / "data.bin"), plain);

        const ProcessResult t = run({"test", "data.qvk"});
        EXPECT_EQ(t.exit_code, 0) << t.err;
        EXPECT_EQ(t.out, "Test completed. There are no errors.\n");

        // The same password arrives through standard input with a line end.
        std::vector<std::string> dec = {"decrypt", "data.qvk", "-o", "back.bin", "--password-stdin"};
        if (c.keyfile) dec.insert(dec.end(), {"-k", "key"});
        const ProcessResult d = run(dec, c.password + "\r\n");
        ASSERT_EQ(d.exit_code, 0) << d.err;
        EXPECT_EQ(d.out, "Decryption completed successfully.\n");
        EXPECT_EQ(read_file(dir_ / "back.bin"), plain);
    }
}

TEST_F(Cli, DefaultNamesFollowTheMainWindowAndRestoreTimeAndName) {
    const std::string name = "na\xC3\xAFve r\xC3\xA9sum\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.tar.gz";
    const Bytes plain = pattern_bytes(50000, 3);
    const fs::path source = dir_ / named(name);
    write_file(source, plain);
    // A whole second, so the time survives any system's resolution.
    const auto stamp = fs::last_write_time(source) - std::chrono::hours(24 * 400);
    const auto whole = std::chrono::time_point_cast<std::chrono::seconds>(stamp);
    fs::last_write_time(source, whole);

    encrypt_ok(name);
    const fs::path container = dir_ / named("na\xC3\xAFve r\xC3\xA9sum\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.tar.qvk");
    ASSERT_TRUE(fs::exists(container)) << ::testing::PrintToString(entries());

    // The decrypted file takes the stored name in the container's folder,
    // also when the command names the container by an absolute path.
    fs::rename(source, dir_ / "original");
    const ProcessResult d = run({"decrypt", container.string(), "--password-file", "pw", "-q"});
    ASSERT_EQ(d.exit_code, 0) << d.err;
    EXPECT_EQ(d.out, "");
    ASSERT_TRUE(fs::exists(source));
    EXPECT_EQ(read_file(source), plain);
    EXPECT_EQ(fs::last_write_time(source), fs::last_write_time(dir_ / "original"));
}

TEST_F(Cli, FileWithoutExtensionGainsQvk) {
    put("notes", "some notes");
    encrypt_ok("notes");
    EXPECT_TRUE(fs::exists(dir_ / "notes.qvk"));
}

TEST_F(Cli, ReadOnlyFileComesBackReadOnly) {
    const fs::path source = put("ro.txt", "keep me");
    fs::permissions(source, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    encrypt_ok("ro.txt");
    const ProcessResult d = run({"decrypt", "ro.qvk", "-o", "out.txt", "--password-file", "pw"});
    ASSERT_EQ(d.exit_code, 0) << d.err;
    EXPECT_EQ(fs::status(dir_ / "out.txt").permissions() & fs::perms::owner_write, fs::perms::none);
    EXPECT_EQ(text_of(read_file(dir_ / "out.txt")), "keep me");
    for (const char* f : {"ro.txt", "out.txt"})
        fs::permissions(dir_ / f, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(Cli, PasswordFileKeepsAllButOneFinalLineEnd) {
    // The password is what the file holds, less one final "\n" or "\r\n".
    const struct {
        std::string file;
        std::string same_as;  // typed on standard input
    } cases[] = {
        {"abc\n", "abc"},
        {"abc\r\n", "abc"},
        {"abc", "abc"},
        {"abc\n\n", "abc\n"},  // only one line end goes; stdin cannot carry the second, so this must fail
        {" spaced ", " spaced "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.file));
        put("data", "content");
        put("pw", c.file);
        std::error_code ec;
        fs::remove(dir_ / "data.qvk", ec);
        ASSERT_EQ(run({"encrypt", "data", "--password-file", "pw", "-q"}).exit_code, 0);
        const ProcessResult d = run({"decrypt", "data.qvk", "-o", "out", "-f", "--password-stdin", "-q"}, c.same_as);
        if (c.file == "abc\n\n") {
            EXPECT_EQ(d.exit_code, 35) << d.err;
        } else {
            EXPECT_EQ(d.exit_code, 0) << d.err;
        }
    }
}

// --- What the program refuses, and what it leaves behind ---------------------

TEST_F(Cli, FailuresReportTheirStatusAndLeaveNothingBehind) {
    const Bytes plain = pattern_bytes(200000, 5);
    write_file(dir_ / "data.bin", plain);
    write_file(dir_ / "key", pattern_bytes(4096, 8));
    encrypt_ok("data.bin", {"-b", "32768"});
    encrypt_ok("data.bin", {"-o", "keyed.qvk", "-k", "key"});
    const Bytes container = read_file(dir_ / "data.qvk");

    Bytes damaged = container;
    damaged[1024 + 8 + 100] ^= 0x01;  // inside the first block
    write_file(dir_ / "damaged.qvk", damaged);
    write_file(dir_ / "truncated.qvk", Bytes(container.begin(), container.begin() + 1024 + 8 + 5000));
    put("plain.qvk", "not a container at all, just text");
    put("wrong", "not the password");
    write_file(dir_ / "otherkey", pattern_bytes(4096, 9));

    const struct {
        const char* label;
        std::vector<std::string> args;
        int status;
        std::string message;
    } cases[] = {
        {"wrong password", {"decrypt", "data.qvk", "-o", "out", "--password-file", "wrong"}, 35,
         failure("data.qvk", WRONG_PASSWORD, 35)},
        {"key file missing from the command", {"decrypt", "keyed.qvk", "-o", "out", "--password-file", "pw"}, 35,
         failure("keyed.qvk", WRONG_PASSWORD, 35)},
        {"wrong key file", {"decrypt", "keyed.qvk", "-o", "out", "-k", "otherkey", "--password-file", "pw"}, 35,
         failure("keyed.qvk", WRONG_PASSWORD, 35)},
        {"damaged block", {"decrypt", "damaged.qvk", "-o", "out", "--password-file", "pw"}, 21,
         failure("damaged.qvk", "Checksum Error: Checksum failed. The file may be corrupt.", 21)},
        {"damaged block, test", {"test", "damaged.qvk"}, 21,
         failure("damaged.qvk", "Checksum Error: Checksum failed. The file may be corrupt.", 21)},
        {"truncated", {"decrypt", "truncated.qvk", "-o", "out", "--password-file", "pw"}, 23,
         failure("truncated.qvk", "Unexpected End of File Error: The file may be corrupt, incomplete, or incompatible.",
                 23)},
        {"truncated, test", {"test", "truncated.qvk"}, 23,
         failure("truncated.qvk", "Unexpected End of File Error: The file may be corrupt, incomplete, or incompatible.",
                 23)},
        {"not a container", {"decrypt", "plain.qvk", "-o", "out", "--password-file", "pw"}, 19,
         failure("plain.qvk", "Open Error: The file is not a valid QVK format file.", 19)},
        {"not a container, test", {"test", "plain.qvk"}, 19,
         failure("plain.qvk", "Open Error: The file is not a valid QVK format file.", 19)},
        {"missing source", {"encrypt", "absent.txt", "--password-file", "pw"}, 14,
         failure("absent.txt", OPEN_ERROR, 14, reason_text(Reason::no_such_file))},
        {"missing container", {"decrypt", "absent.qvk", "--password-file", "pw"}, 14,
         failure("absent.qvk", OPEN_ERROR, 14, reason_text(Reason::no_such_file))},
        {"missing container, test", {"test", "absent.qvk"}, 14,
         failure("absent.qvk", OPEN_ERROR, 14, reason_text(Reason::no_such_file))},
        {"missing file, info", {"info", "absent.qvk"}, 14,
         failure("absent.qvk", OPEN_ERROR, 14, reason_text(Reason::no_such_file))},
        {"missing key file", {"encrypt", "data.bin", "-o", "out", "-k", "absent.key", "--password-file", "pw"}, 14,
         failure("absent.key", OPEN_ERROR, 14, reason_text(Reason::no_such_file))},
        {"missing password file", {"encrypt", "data.bin", "-o", "out", "--password-file", "absent.pw"}, 14,
         failure("absent.pw", OPEN_ERROR, 14, reason_text(Reason::no_such_file))},
        {"a folder as the source", {"encrypt", ".", "-o", "out", "--password-file", "pw"}, 14,
         failure(".", OPEN_ERROR, 14, reason_text(Reason::is_folder))},
        {"output folder missing", {"encrypt", "data.bin", "-o", "nowhere/out", "--password-file", "pw"}, 16,
         failure("nowhere/out", "Save Error: The file cannot be saved.", 16, reason_text(Reason::no_such_folder))},
        {"usage", {"encrypt", "data.bin", "-r", "1048577"}, 2,
         "corvane-cli: rounds must be a whole number from 0 to 1048576, not '1048577'. Try 'corvane-cli encrypt "
         "--help'.\n"},
        {"no terminal for the prompt", {"decrypt", "data.qvk", "-o", "out"}, 2,
         "corvane-cli: no terminal to ask the password on; use --password-stdin or --password-file. Try "
         "'corvane-cli decrypt --help'.\n"},
    };
    const auto before = entries();
    const Bytes source_before = read_file(dir_ / "data.bin");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const ProcessResult r = run(c.args);
        EXPECT_EQ(r.exit_code, c.status);
        EXPECT_EQ(r.err, c.message);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(entries(), before);
    }
    EXPECT_EQ(read_file(dir_ / "data.bin"), source_before);
    EXPECT_EQ(read_file(dir_ / "data.qvk"), container);
}

TEST_F(Cli, BadPasswordInputIsAUsageError) {
    put("data", "content");
    const struct {
        const char* label;
        std::string input;
        const char* says;
    } cases[] = {
        {"invalid UTF-8", "p\xFFw\n", "the password is not valid UTF-8 text"},
        {"an encoded surrogate", "\xED\xA0\x80\n", "the password is not valid UTF-8 text"},
        {"too long", std::string(256, 'x') + "\n", "the password is longer than 255 characters"},
        {"far too long", std::string(5000, 'x'), "the password is longer than 255 characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const ProcessResult r = run({"encrypt", "data", "--password-stdin"}, c.input);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir_ / "data.qvk"));
    }
    // 255 characters are the limit, not beyond it.
    const ProcessResult ok = run({"encrypt", "data", "--password-stdin", "-q"}, std::string(255, 'x') + "\n");
    EXPECT_EQ(ok.exit_code, 0) << ok.err;
}

TEST_F(Cli, InvalidUtf8ArgumentIsAUsageError) {
    if (!arguments_are_bytes()) GTEST_SKIP() << "arguments reach the Windows program as UTF-16 and cannot be malformed UTF-8";
    const ProcessResult r = run({"info", "bad\xFFname"});
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "corvane-cli: argument 2 is not valid UTF-8. Try 'corvane-cli --help'.\n");
}

TEST_F(Cli, ExistingOutputNeedsForce) {
    put("data.txt", "new content");
    put("data.qvk", "precious");
    put("pw", "pw");
    const ProcessResult refused = run({"encrypt", "data.txt", "--password-file", "pw"});
    EXPECT_EQ(refused.exit_code, 2);
    EXPECT_EQ(refused.err, "corvane-cli: 'data.qvk' already exists; use --force to replace it\n");
    EXPECT_EQ(text_of(read_file(dir_ / "data.qvk")), "precious");

    const ProcessResult forced = run({"encrypt", "data.txt", "--password-file", "pw", "--force", "-q"});
    ASSERT_EQ(forced.exit_code, 0) << forced.err;
    EXPECT_NE(text_of(read_file(dir_ / "data.qvk")), "precious");

    // Decryption refuses in the same way, and a failed forced decryption
    // leaves the file it would have replaced.
    put("target", "keep this");
    const ProcessResult d = run({"decrypt", "data.qvk", "-o", "target", "--password-file", "pw"});
    EXPECT_EQ(d.exit_code, 2);
    EXPECT_EQ(d.err, "corvane-cli: 'target' already exists; use --force to replace it\n");
    put("wrong", "wrong");
    const ProcessResult bad = run({"decrypt", "data.qvk", "-o", "target", "-f", "--password-file", "wrong"});
    EXPECT_EQ(bad.exit_code, 35);
    EXPECT_EQ(text_of(read_file(dir_ / "target")), "keep this");
    const ProcessResult good = run({"decrypt", "data.qvk", "-o", "target", "-f", "--password-file", "pw", "-q"});
    EXPECT_EQ(good.exit_code, 0) << good.err;
    EXPECT_EQ(text_of(read_file(dir_ / "target")), "new content");
    EXPECT_EQ(entries(), (std::vector<std::string>{"data.qvk", "data.txt", "pw", "target", "wrong"}));
}

TEST_F(Cli, OutputNeverOverwritesAnInputEvenWithForce) {
    put("data.txt", "the only copy");
    put("key", "key bytes");
    put("pw", "pw");
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"encrypt", "data.txt", "-o", "data.txt", "-f", "--password-file", "pw"},
         "corvane-cli: 'data.txt' is the file being encrypted; choose another output with -o\n"},
        {{"encrypt", "data.txt", "-o", "./data.txt", "-f", "--password-file", "pw"},
         "corvane-cli: './data.txt' is the file being encrypted; choose another output with -o\n"},
        {{"encrypt", "data.txt", "-k", "key", "-o", "key", "-f", "--password-file", "pw"},
         "corvane-cli: 'key' is the key file; choose another output with -o\n"},
    };
    for (const auto& c : cases) {
        const ProcessResult r = run(c.args);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err, c.message);
    }
    EXPECT_EQ(text_of(read_file(dir_ / "data.txt")), "the only copy");
    EXPECT_EQ(text_of(read_file(dir_ / "key")), "key bytes");

    // A container whose stored name is its own name decrypts by default over itself.
    put("copy", "stored under its own name");
    encrypt_ok("copy", {"-o", "copy.qvk"});
    fs::remove(dir_ / "copy");
    fs::rename(dir_ / "copy.qvk", dir_ / "copy");
    const ProcessResult self = run({"decrypt", "copy", "-f", "--password-file", "pw"});
    EXPECT_EQ(self.exit_code, 2);
    EXPECT_EQ(self.err, "corvane-cli: 'copy' is the file being decrypted; choose another output with -o\n");
}

TEST_F(Cli, StoredNameIsSanitisedLikeTheMainWindow) {
    // A name a POSIX file system allows but Windows does not: the main
    // window's clean-up turns it into a safe one.
    if (!names_allow_reserved_characters()) GTEST_SKIP() << "Windows file names cannot hold these characters";
    const std::string stored = "a:b<x>|d?.txt";
    put(stored, "odd name");
    encrypt_ok(stored, {"-o", "odd.qvk"});
    const ProcessResult d = run({"decrypt", "odd.qvk", "--password-file", "pw", "-q"});
    ASSERT_EQ(d.exit_code, 0) << d.err;
    EXPECT_EQ(text_of(read_file(dir_ / "a-b(x)_d")), "odd name");
}

// --- info and help --------------------------------------------------------

TEST_F(Cli, InfoShowsWhatTheMainWindowShows) {
    write_file(dir_ / "photo.jpeg", pattern_bytes(1572864, 4));
    put("tiny.txt", "12345");
    encrypt_ok("photo.jpeg", {"-r", "25", "--hint", "the usual, caf\xC3\xA9"});
    encrypt_ok("tiny.txt", {"-r", "0"});
    fs::copy_file(dir_ / "photo.qvk", dir_ / "container.bin");  // a container by content, not by name

    const struct {
        const char* file;
        std::vector<std::string> lines;  // the Date line is checked for presence only
    } cases[] = {
        {"photo.jpeg", {"File: photo.jpeg", "Type: JPEG File", "Size: 1.5 MB"}},
        {"tiny.txt", {"File: tiny.txt", "Type: TXT File", "Size: 5 bytes"}},
        {"photo.qvk",
         {"File: photo.jpeg", "Type: QVK 25X Jumble, ", " Block", "Size: 1.5 MB", "Hint: the usual, caf\xC3\xA9"}},
        {"tiny.qvk", {"File: tiny.txt", "Type: QVK Stream", "Size: Unknown/Encrypted, 0 to 31 bytes", "Hint: \n"}},
        {"container.bin", {"File: container.bin", "Type: BIN File"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const ProcessResult r = run({"info", c.file});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        for (const auto& line : c.lines) EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\nDate: "), std::string::npos) << r.out;
    }

    Bytes damaged = read_file(dir_ / "photo.qvk");
    damaged[10] ^= 0xFF;  // the header's own checksum no longer fits
    write_file(dir_ / "broken.qvk", damaged);
    write_file(dir_ / "broken.dat", damaged);
    const ProcessResult named_container = run({"info", "broken.qvk"});
    EXPECT_NE(named_container.exit_code, 0);
    EXPECT_NE(named_container.err.find("(status "), std::string::npos);
    const ProcessResult other_name = run({"info", "broken.dat"});
    EXPECT_EQ(other_name.exit_code, 0) << other_name.err;
    EXPECT_NE(other_name.out.find("Type: DAT File"), std::string::npos);
}

TEST_F(Cli, HelpAndUsage) {
    const ProcessResult help = run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Usage: corvane-cli COMMAND"), std::string::npos);
    for (const char* command : {"encrypt", "decrypt", "test", "info"}) {
        const ProcessResult r = run({command, "--help"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_NE(r.out.find(std::string("Usage: corvane-cli ") + command), std::string::npos) << r.out;
    }
    const ProcessResult none = run({});
    EXPECT_EQ(none.exit_code, 2);
    EXPECT_EQ(none.err, "corvane-cli: no command given. Try 'corvane-cli --help'.\n");
}

// --- Ctrl-C ---------------------------------------------------------------------

TEST_F(Cli, InterruptCancelsAndRemovesThePartialOutput) {
    if (!can_interrupt()) GTEST_SKIP() << "a test cannot send Ctrl-C to a Windows console program it started";
    {
        std::ofstream big(dir_ / "big.bin", std::ios::binary);
        const Bytes chunk = pattern_bytes(1 << 20, 11);
        for (int i = 0; i < 64; ++i) big.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    }
    put("pw", "pw");
    const auto before = entries();

    RunningProcess p = start_process(cli_program(), {"encrypt", "big.bin", "-r", "25", "--password-file", "pw"}, dir_, io_);
    ASSERT_TRUE(wait_for_entries(dir_, before.size() + 1));
    interrupt(p);
    const ProcessResult r = wait_process(p);
    EXPECT_EQ(r.exit_code, 130);
    EXPECT_EQ(r.err, "corvane-cli: cancelled\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(entries(), before);
}

TEST_F(Cli, InterruptedDecryptionKeepsTheFileItWouldReplace) {
    if (!can_interrupt()) GTEST_SKIP() << "a test cannot send Ctrl-C to a Windows console program it started";
    {
        std::ofstream big(dir_ / "big.bin", std::ios::binary);
        const Bytes chunk = pattern_bytes(1 << 20, 12);
        for (int i = 0; i < 64; ++i) big.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    }
    encrypt_ok("big.bin", {"-r", "25"});
    fs::remove(dir_ / "big.bin");
    put("big.bin", "the older file");
    const auto before = entries();

    RunningProcess p = start_process(cli_program(), {"decrypt", "big.qvk", "-f", "--password-file", "pw"}, dir_, io_);
    ASSERT_TRUE(wait_for_entries(dir_, before.size() + 1));
    interrupt(p);
    const ProcessResult r = wait_process(p);
    EXPECT_EQ(r.exit_code, 130);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(text_of(read_file(dir_ / "big.bin")), "the older file");
}

// --- The terminal prompt ------------------------------------------------------

TEST_F(Cli, TerminalPromptAsksTwiceAndGivesUpAfterThreeMismatches) {
    if (!can_use_terminal()) GTEST_SKIP() << "no pseudo-terminal on this system";
    put("data", "typed secrets");
    const ProcessResult mismatch = run_on_terminal(cli_program(), {"encrypt", "data"}, dir_, "a\nb\nc\nd\ne\nf\n");
    EXPECT_EQ(mismatch.exit_code, 36);
    const auto count = [](const std::string& text, const std::string& what) {
        std::size_t n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(count(mismatch.out, "Password: "), 3u) << mismatch.out;
    EXPECT_EQ(count(mismatch.out, "Confirm: "), 3u) << mismatch.out;
    EXPECT_EQ(count(mismatch.out, "Password and Confirm do not match. Try again.\r\n"), 2u) << mismatch.out;
    EXPECT_NE(mismatch.out.find("Password and Confirm do not match. Try again."), std::string::npos);
    EXPECT_NE(mismatch.out.find("corvane-cli: Password Error: Password and Confirm do not match. Try again. (status 36)"),
              std::string::npos);
    // What was typed is never shown.
    EXPECT_EQ(mismatch.out.find("a\r\n"), std::string::npos) << mismatch.out;
    EXPECT_FALSE(fs::exists(dir_ / "data.qvk"));

    // A mismatch, then a match: the job runs with a progress line.
    const ProcessResult second = run_on_terminal(cli_program(), {"encrypt", "data", "--hint", "sky"}, dir_,
                                                 "s\xC3\xA9same\nsesame\ns\xC3\xA9same\ns\xC3\xA9same\n");
    ASSERT_EQ(second.exit_code, 0) << second.out;
    EXPECT_NE(second.out.find("Encrypting... 100% ["), std::string::npos) << second.out;
    EXPECT_NE(second.out.find("Encryption completed successfully."), std::string::npos);
    EXPECT_EQ(second.out.find("s\xC3\xA9same"), std::string::npos);

    // Decryption asks once and shows the hint first.
    const ProcessResult d = run_on_terminal(cli_program(), {"decrypt", "data.qvk", "-o", "back"}, dir_, "s\xC3\xA9same\n");
    ASSERT_EQ(d.exit_code, 0) << d.out;
    EXPECT_NE(d.out.find("Hint: sky"), std::string::npos) << d.out;
    EXPECT_EQ(text_of(read_file(dir_ / "back")), "typed secrets");
}

}  // namespace
}  // namespace corvane::testing
