// corvane-cli where the surroundings are not friendly, on every system: an
// output that appears while the job runs, crafted texts in a container, and
// a small container whose header asks for huge blocks.
#include "tests/cli/cli_fixture.h"

namespace corvane::testing {
namespace {

// The container format's header checksum, to craft headers that pass it:
// s = rol32(s + b, 1) over bytes 0..1019, stored little-endian at 1020.
void reseal(Bytes& container) {
    std::uint32_t s = 0;
    for (std::size_t i = 0; i < 1020; ++i) {
        s += container[i];
        s = (s << 1) | (s >> 31);
    }
    for (unsigned k = 0; k < 4; ++k) container[1020 + k] = static_cast<std::uint8_t>(s >> (8 * k));
}

// Puts units into a zero-padded UTF-16LE field of the header.
void put_text(Bytes& container, std::size_t offset, std::size_t units, const std::u16string& text) {
    for (std::size_t i = 0; i < units; ++i) {
        const char16_t c = i < text.size() ? text[i] : 0;
        container[offset + 2 * i] = static_cast<std::uint8_t>(c & 0xFF);
        container[offset + 2 * i + 1] = static_cast<std::uint8_t>(c >> 8);
    }
}

constexpr std::size_t NAME_OFFSET = 96;
constexpr std::size_t NAME_UNITS = 256;
constexpr std::size_t HINT_OFFSET = 608;
constexpr std::size_t HINT_UNITS = 128;

class Surroundings : public Cli {
protected:
    // A container of name made by the program itself, with its name and hint replaced.
    Bytes crafted(const std::string& source, const std::u16string& stored_name, const std::u16string& hint) {
        put(source, "the content that was protected");
        encrypt_ok(source);
        const fs::path made = dir_ / (source.substr(0, source.rfind('.')) + ".qvk");
        Bytes container = read_file(made);
        fs::remove(made);
        put_text(container, NAME_OFFSET, NAME_UNITS, stored_name);
        put_text(container, HINT_OFFSET, HINT_UNITS, hint);
        reseal(container);
        return container;
    }
};

TEST_F(Surroundings, AnOutputThatAppearsWhileTheJobRunsIsNeverReplaced) {
    write_big_file(dir_ / "big.bin", 16, 21);
    put("pw", "pw");
    const auto before = entries();
    RunningProcess p =
        start_process(cli_program(), {"encrypt", "big.bin", "-o", "out.qvk", "-r", "25", "--password-file", "pw"},
                      dir_, io_);
    // The job's temporary shows that the early check has passed.
    ASSERT_TRUE(wait_for_entries(dir_, before.size() + 1));
    put("out.qvk", "someone else's file");
    const ProcessResult r = wait_process(p);
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "corvane-cli: 'out.qvk' already exists; use --force to replace it\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(text_of(read_file(dir_ / "out.qvk")), "someone else's file");
    auto after = before;
    after.push_back("out.qvk");
    std::sort(after.begin(), after.end());
    EXPECT_EQ(entries(), after) << "the temporary is removed";
}

TEST_F(Surroundings, CraftedNamesAndHintsReachTheTerminalEscaped) {
    const std::u16string name = u"evil\x1b[2J\x07\r\u202Etxt.exe";
    const std::u16string hint = u"\x1b]0;owned\x07 fake prompt\n$ \u2066x\u2069 caf\u00e9";
    write_file(dir_ / "crafted.qvk", crafted("plain.txt", name, hint));
    const ProcessResult r = run({"info", "crafted.qvk"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("File: evil\\x1b[2J\\x07\\x0d\\u202etxt.exe\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Hint: \\x1b]0;owned\\x07 fake prompt\\x0a$ \\u2066x\\u2069 caf\xC3\xA9\n"),
              std::string::npos)
        << r.out;
    for (const char c : r.out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
}

TEST_F(Surroundings, AStoredNameWithALoneSurrogateFallsBackToTheContainersName) {
    write_file(dir_ / "odd.qvk", crafted("plain.txt", std::u16string(u"name") + char16_t(0xD800) + u".txt", u""));
    const ProcessResult r = run({"decrypt", "odd.qvk", "--password-file", "pw", "-q"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(text_of(read_file(dir_ / "odd")), "the content that was protected");
}

}  // namespace
}  // namespace corvane::testing
