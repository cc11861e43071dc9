// corvane-cli on many files at once: each file its own job, failures named
// and the rest done, the same results whatever -j is, outputs gathered in one
// folder, the facts as JSON, and info agreeing with the main window's view.
#include <nlohmann/json.hpp>

#include <memory>

#include "tests/cli/cli_fixture.h"
#include "ui/file_view.h"

namespace corvane::testing {
namespace {

using Json = nlohmann::json;

class Batch : public Cli {
protected:
    // Five plain files, one of them missing from the call's point of view.
    std::vector<std::string> make_files() {
        std::vector<std::string> names;
        for (int i = 0; i < 5; ++i) {
            const std::string name = "file" + std::to_string(i) + ".txt";
            write_file(dir_ / name, pattern_bytes(40000 + 1000 * static_cast<std::size_t>(i), static_cast<std::uint8_t>(i)));
            names.push_back(name);
        }
        put("pw", "pw");
        return names;
    }

    std::string decrypted(const std::string& container) {
        const ProcessResult r = run({"decrypt", container, "-o", "check.out", "-f", "-q", "--password-file", "pw"});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        const std::string content = text_of(read_file(dir_ / "check.out"));
        fs::remove(dir_ / "check.out");
        return content;
    }
};

TEST_F(Batch, AFailingFileInTheMiddleIsNamedAndTheRestAreDone) {
    std::vector<std::string> names = make_files();
    names.insert(names.begin() + 2, "absent.txt");
    std::vector<std::string> args = {"encrypt"};
    args.insert(args.end(), names.begin(), names.end());
    args.insert(args.end(), {"--password-file", "pw"});
    const ProcessResult r = run(args);
    EXPECT_EQ(r.exit_code, 14);
    EXPECT_EQ(r.err, failure("absent.txt", OPEN_ERROR, 14, reason_text(Reason::no_such_file)));
    std::string done;
    for (const std::string& n : names)
        if (n != "absent.txt") done += n + ": Encryption completed successfully.\n";
    EXPECT_EQ(r.out, done);
    for (int i = 0; i < 5; ++i) {
        const std::string base = "file" + std::to_string(i);
        EXPECT_EQ(decrypted(base + ".qvk"), text_of(read_file(dir_ / (base + ".txt"))));
    }

    // The first failure in argument order decides the status; an existing
    // output is a refusal of that file alone.
    const ProcessResult again = run({"encrypt", "file0.txt", "file1.txt", "--password-file", "pw", "-q"});
    EXPECT_EQ(again.exit_code, 2);
    EXPECT_EQ(again.err, "corvane-cli: 'file0.qvk' already exists; use --force to replace it\n"
                         "corvane-cli: 'file1.qvk' already exists; use --force to replace it\n");
}

TEST_F(Batch, ResultsDoNotDependOnHowManyRunAtOnce) {
    const std::vector<std::string> names = make_files();
    std::map<std::string, ProcessResult> results;
    for (const char* jobs : {"1", "2", "0"}) {
        const std::string folder = std::string("out") + jobs;
        fs::create_directory(dir_ / folder);
        std::vector<std::string> args = {"encrypt", "-j", jobs, "-O", folder, "--password-file", "pw", "-r", "3"};
        args.insert(args.end(), names.begin(), names.end());
        args.push_back("missing.txt");
        results[jobs] = run(args);
        for (const std::string& n : names) {
            const std::string container = folder + "/" + n.substr(0, n.size() - 4) + ".qvk";
            EXPECT_EQ(decrypted(container), text_of(read_file(dir_ / n))) << container;
        }
        EXPECT_EQ(folder_entries(dir_ / folder).size(), names.size()) << "nothing else in " << folder;
    }
    for (const char* jobs : {"2", "0"}) {
        EXPECT_EQ(results[jobs].exit_code, results["1"].exit_code) << jobs;
        EXPECT_EQ(results[jobs].out, results["1"].out) << jobs;
        EXPECT_EQ(results[jobs].err, results["1"].err) << jobs;
    }
    EXPECT_EQ(results["1"].exit_code, 14);

    // Testing and decrypting them all, two at a time, into a folder of their own.
    fs::create_directory(dir_ / "back");
    std::vector<std::string> containers;
    for (const std::string& n : names) containers.push_back("out2/" + n.substr(0, n.size() - 4) + ".qvk");
    std::vector<std::string> test_args = {"test", "-j", "2"};
    test_args.insert(test_args.end(), containers.begin(), containers.end());
    const ProcessResult tested = run(test_args);
    EXPECT_EQ(tested.exit_code, 0) << tested.err;
    std::vector<std::string> decrypt_args = {"decrypt", "-j", "2", "-O", "back", "-q", "--password-file", "pw"};
    decrypt_args.insert(decrypt_args.end(), containers.begin(), containers.end());
    const ProcessResult back = run(decrypt_args);
    EXPECT_EQ(back.exit_code, 0) << back.err;
    for (const std::string& n : names) EXPECT_EQ(read_file(dir_ / "back" / n), read_file(dir_ / n)) << n;
}

TEST_F(Batch, OnATerminalOneLineShowsTheCallAndALastLineSumsUp) {
    if (!can_use_terminal()) GTEST_SKIP() << "no pseudo-terminal on this system";
    std::vector<std::string> args = {"encrypt", "-j", "2", "-r", "25", "--password-file", "pw"};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "t" + std::to_string(i) + ".bin";
        write_big_file(dir_ / name, 4, static_cast<std::uint8_t>(60 + i));
        args.push_back(name);
    }
    args.push_back("absent.bin");
    put("pw", "pw");
    const ProcessResult r = run_on_terminal(cli_program(), args, dir_, "");
    EXPECT_EQ(r.exit_code, 14);
    EXPECT_NE(r.out.find("/3 "), std::string::npos) << "files done of the total: " << r.out;
    EXPECT_NE(r.out.find("absent.bin: Open Error"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("t2.bin: Encryption completed successfully."), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("4 files: 3 done, 1 failed"), std::string::npos) << r.out;
}

TEST_F(Batch, OutputsThatWouldMeetAreRefusedBeforeAnyWork) {
    put("same.txt", "one");
    put("same.doc", "two");
    put("pw", "pw");
    const ProcessResult two = run({"encrypt", "same.txt", "same.doc", "-f", "-q", "--password-file", "pw"});
    EXPECT_EQ(two.exit_code, 2);
    EXPECT_EQ(two.err, "corvane-cli: 'same.qvk' is the output of 'same.txt' too\n");
    EXPECT_EQ(decrypted("same.qvk"), "one");

    // Outputs that differ in letter case alone are one file where names ignore case.
    fs::create_directories(dir_ / "d1");
    fs::create_directories(dir_ / "d2");
    fs::create_directories(dir_ / "out");
    put("d1/x.txt", "lower");
    put("d2/X.txt", "upper");
    const ProcessResult cased = run({"encrypt", "d1/x.txt", "d2/X.txt", "-O", "out", "-f", "-q", "--password-file", "pw"});
    if (names_ignore_case()) {
        EXPECT_EQ(cased.exit_code, 2);
        EXPECT_EQ(cased.err, "corvane-cli: 'out/X.qvk' is the output of 'd1/x.txt' too\n");
        EXPECT_EQ(decrypted("out/x.qvk"), "lower");
    } else {
        EXPECT_EQ(cased.exit_code, 0) << cased.err;
        EXPECT_EQ(decrypted("out/X.qvk"), "upper");
    }

    const ProcessResult one_output = run({"encrypt", "same.txt", "same.doc", "-o", "x.qvk", "--password-file", "pw"});
    EXPECT_EQ(one_output.exit_code, 2);
    EXPECT_NE(one_output.err.find("-o names the output of one file"), std::string::npos) << one_output.err;

    const ProcessResult no_folder = run({"encrypt", "same.txt", "-O", "nowhere", "--password-file", "pw"});
    EXPECT_EQ(no_folder.exit_code, 2);
    EXPECT_NE(no_folder.err.find("'nowhere' is not a folder"), std::string::npos) << no_folder.err;
}

TEST_F(Batch, TheFactsAsJsonAgreeWithTheContainers) {
    write_file(dir_ / "notes.txt", pattern_bytes(100000, 7));
    put("tiny.txt", "short");
    put("pw", "pw");
    ASSERT_EQ(run({"encrypt", "notes.txt", "-r", "3", "-b", "65536", "--hint", "the usual", "-q", "--password-file",
                   "pw"}).exit_code,
              0);
    ASSERT_EQ(run({"encrypt", "tiny.txt", "-r", "0", "-q", "--password-file", "pw"}).exit_code, 0);
    Bytes damaged = read_file(dir_ / "notes.qvk");
    damaged[1024 + 8 + 10] ^= 0x10;
    write_file(dir_ / "damaged.qvk", damaged);

    const ProcessResult info = run({"info", "--json", "notes.qvk", "tiny.qvk", "notes.txt", "absent.qvk"});
    EXPECT_EQ(info.exit_code, 14);
    const Json facts = Json::parse(info.out);
    ASSERT_TRUE(facts.is_array());
    ASSERT_EQ(facts.size(), 4u);
    const Json& c = facts[0];
    EXPECT_EQ(c["path"], "notes.qvk");
    EXPECT_EQ(c["kind"], "container");
    EXPECT_EQ(c["format_version"], 2);
    EXPECT_EQ(c["key_schedule_variant"], 3);
    EXPECT_EQ(c["jumble_rounds"], 3);
    EXPECT_EQ(c["stored"]["name"], "notes.txt");
    EXPECT_EQ(c["stored"]["size"], 100000);
    EXPECT_EQ(c["hint"], "the usual");
    const Bytes header = read_file(dir_ / "notes.qvk");
    const auto le32 = [&](std::size_t at) {
        return std::uint32_t{header[at]} | std::uint32_t{header[at + 1]} << 8 | std::uint32_t{header[at + 2]} << 16 |
               std::uint32_t{header[at + 3]} << 24;
    };
    EXPECT_EQ(c["block_size"], le32(12));
    const std::uint64_t write_time = le32(84) | std::uint64_t{le32(88)} << 32;
    EXPECT_EQ(c["stored"]["last_write_time"]["filetime"], write_time);
    EXPECT_EQ(c["stored"]["attributes"]["value"], le32(92));
    const std::string utc = c["stored"]["last_write_time"]["utc"];
    EXPECT_EQ(utc.size(), 28u) << utc;
    EXPECT_EQ(utc.back(), 'Z');

    EXPECT_EQ(facts[1]["stored"]["size"], nullptr);
    EXPECT_EQ(facts[1]["stored"]["short_file"], true);
    EXPECT_EQ(facts[1]["scheme"], "QVK Stream");
    EXPECT_EQ(facts[2]["kind"], "plain file");
    EXPECT_EQ(facts[2]["size"], 100000);
    EXPECT_EQ(facts[2]["type"], "TXT File");
    EXPECT_EQ(facts[3]["status"], 14);
    EXPECT_EQ(facts[3]["reason"], reason_text(Reason::no_such_file));

    const ProcessResult tested = run({"test", "--json", "notes.qvk", "damaged.qvk", "absent.qvk"});
    EXPECT_EQ(tested.exit_code, 21);
    EXPECT_EQ(tested.err, failure("damaged.qvk", "Checksum Error: Checksum failed. The file may be corrupt.", 21) +
                              failure("absent.qvk", OPEN_ERROR, 14, reason_text(Reason::no_such_file)));
    const Json results = Json::parse(tested.out);
    ASSERT_EQ(results.size(), 3u);
    EXPECT_EQ(results[0]["status"], 0);
    EXPECT_EQ(results[0]["message"], "Test completed. There are no errors.");
    EXPECT_EQ(results[0]["stored"]["name"], "notes.txt");
    EXPECT_EQ(results[1]["status"], 21);
    EXPECT_EQ(results[1]["message"], "Checksum failed. The file may be corrupt.");
    EXPECT_EQ(results[2], (Json{{"path", "absent.qvk"},
                                {"status", 14},
                                {"message", "The file cannot be opened."},
                                {"reason", reason_text(Reason::no_such_file)}}));

    const ProcessResult single = run({"test", "--json", "notes.qvk"});
    EXPECT_TRUE(Json::parse(single.out).is_object());
}

TEST_F(Batch, InfoShowsWhatTheMainWindowShows) {
    write_file(dir_ / "photo.jpeg", pattern_bytes(3000, 1));
    put("pw", "pw");
    put("small", "tiny");
    ASSERT_EQ(run({"encrypt", "photo.jpeg", "--hint", "cat", "-q", "--password-file", "pw"}).exit_code, 0);
    for (const char* file : {"photo.qvk", "photo.jpeg", "small"}) {
        SCOPED_TRACE(file);
        auto job = std::make_unique<JobContext>();
        ui::FileView view;
        ui::view_file(*job, u16(dir_ / file).c_str(), view, nullptr);
        const auto narrow = [](const char16_t* t) {
            const std::u8string utf8 = fs::path(std::u16string(t)).u8string();
            return std::string(utf8.begin(), utf8.end());
        };
        std::string expected = "File: " + narrow(view.name) + "\nType: " + narrow(view.type) + "\nSize: " + narrow(view.size) +
                   "\nDate: " + narrow(view.date) + "\n";
        if (view.kind == ui::Inspection::container) expected += "Hint: " + narrow(view.hint) + "\n";
        const ProcessResult r = run({"info", file});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.out, expected);
    }
}

}  // namespace
}  // namespace corvane::testing
