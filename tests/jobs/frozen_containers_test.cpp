// The containers frozen in tests/fixtures, one case per file: written once by
// the writers of their day (or byte by byte, for the layouts nobody writes
// any more), they must decrypt and test with today's jobs, to the plaintext
// and stored facts their manifest records.
#include <gtest/gtest.h>

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "jobs/file_jobs.h"
#include "platform/platform.h"
#include "tests/support/job_helpers.h"
#include "tests/support/scratch.h"
#include "tests/support/sha256.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;
using testing::read_file;
using testing::sha256_hex;
using testing::u16;

const fs::path FIXTURES = CORVANE_FIXTURES;

// --- The digest the manifest uses ----------------------------------------

TEST(Sha256, StandardVectors) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        // 448 bits: the padding no longer fits the block.
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.substr(0, 16));
        EXPECT_EQ(sha256_hex(c.message), c.digest);
    }
}

// --- The manifest ----------------------------------------------------------

struct Fixture {
    std::string file;
    std::u16string password;
    std::string keyfile;  // empty: none
    std::uint64_t plain_size = 0;
    std::string plain_sha256;
    std::string container_sha256;
    std::u16string name;
    std::u16string hint;
    std::uint64_t write_time = 0;
    std::uint32_t attributes = 0;
    std::string problem;  // a row that could not be read
};

// Names each case after its file (ctest shows the printed value).
void PrintTo(const Fixture& x, std::ostream* out) { *out << x.file; }

// UTF-8 to UTF-16 by the standard library's own conversion of a char8_t path.
std::u16string from_utf8(const std::string& text) {
    if (text == "-") return {};
    return fs::path(std::u8string(text.begin(), text.end())).u16string();
}

template <typename T>
bool read_number(const std::string& text, T* value, int base = 10) {
    const char* first = text.data();
    const char* last = first + text.size();
    if (base == 16 && text.size() > 2 && text[0] == '0' && text[1] == 'x') first += 2;
    const auto [end, error] = std::from_chars(first, last, *value, base);
    return error == std::errc() && end == last;
}

std::vector<Fixture> read_manifest() {
    std::vector<Fixture> rows;
    std::ifstream in(FIXTURES / "manifest.txt", std::ios::binary);
    std::string line;
    for (int line_number = 1; std::getline(in, line); ++line_number) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string field; fields >> field;) f.push_back(field);
        Fixture x;
        if (f.size() != 10) {
            x.file = "line " + std::to_string(line_number);
            x.problem = "expected 10 columns, found " + std::to_string(f.size());
            rows.push_back(x);
            continue;
        }
        x.file = f[0];
        x.password = from_utf8(f[1]);
        x.keyfile = f[2] == "-" ? "" : f[2];
        x.plain_sha256 = f[4];
        x.container_sha256 = f[5];
        x.name = from_utf8(f[6]);
        x.hint = from_utf8(f[7]);
        if (!read_number(f[3], &x.plain_size) || !read_number(f[8], &x.write_time) || !read_number(f[9], &x.attributes, 16))
            x.problem = "line " + std::to_string(line_number) + ": a number column does not read as one";
        rows.push_back(x);
    }
    return rows;
}

// A file that is in the folder but not in the manifest would never be read.
TEST(FrozenManifest, ListsEveryContainerOnce) {
    ASSERT_TRUE(fs::is_directory(FIXTURES)) << FIXTURES;
    std::set<std::string> listed;
    for (const Fixture& x : read_manifest()) {
        EXPECT_TRUE(x.problem.empty()) << x.file << ": " << x.problem;
        EXPECT_TRUE(listed.insert(x.file).second) << x.file << " is listed twice";
        EXPECT_TRUE(fs::is_regular_file(FIXTURES / x.file)) << x.file;
        if (!x.keyfile.empty()) {
            EXPECT_TRUE(fs::is_regular_file(FIXTURES / x.keyfile)) << x.keyfile;
        }
    }
    std::set<std::string> present;
    for (const auto& entry : fs::directory_iterator(FIXTURES))
        if (entry.path().extension() == ".qvk") present.insert(entry.path().filename().string());
    EXPECT_FALSE(present.empty());
    EXPECT_EQ(listed, present);
}

// --- Each container through the jobs ----------------------------------------

class FrozenContainer : public ::testing::TestWithParam<Fixture> {
protected:
    void SetUp() override { dir = testing::scratch_dir(); }
    void TearDown() override {
        // A restored read-only file would stop the next run's clean-up on some systems.
        for (const auto& entry : fs::directory_iterator(dir))
            (void)platform::set_attributes(u16(entry.path()).c_str(), 0);
    }
    fs::path dir;
};

TEST_P(FrozenContainer, DecryptsAndTests) {
    const Fixture& x = GetParam();
    ASSERT_TRUE(x.problem.empty()) << x.problem;
    const std::u16string container = u16(FIXTURES / x.file);
    const std::u16string key = x.keyfile.empty() ? u"" : u16(FIXTURES / x.keyfile);
    const char16_t* keyfile = x.keyfile.empty() ? nullptr : key.c_str();
    const fs::path restored = dir / "restored.bin";

    // A replaced file would prove nothing about old containers.
    ASSERT_EQ(sha256_hex(read_file(FIXTURES / x.file)), x.container_sha256) << "the frozen file itself changed";

    auto job = std::make_unique<JobContext>();
    ASSERT_EQ(decrypt_file(*job, container.c_str(), u16(restored).c_str(), keyfile, x.password.c_str(), nullptr),
              StatusCode::ok);
    const Bytes plain = read_file(restored);
    EXPECT_EQ(plain.size(), x.plain_size);
    EXPECT_EQ(sha256_hex(plain), x.plain_sha256);

    const ContainerHeader& h = job->header;
    char16_t name[FILE_NAME_UNITS + 1];
    char16_t hint[HINT_UNITS + 1];
    header_file_name(h, name);
    header_hint(h, hint);
    EXPECT_EQ(std::u16string(name), x.name);
    EXPECT_EQ(std::u16string(hint), x.hint);
    EXPECT_EQ(h.file_size(), x.plain_size);
    EXPECT_EQ(h.write_time(), x.write_time);
    EXPECT_EQ(h.attributes(), x.attributes);
    const platform::FileFacts facts = testing::facts_of(restored);
    EXPECT_EQ(facts.write_time, x.write_time);
    EXPECT_EQ(facts.attributes & platform::ATTRIBUTE_READONLY, x.attributes & platform::ATTRIBUTE_READONLY);

    auto tester = std::make_unique<JobContext>();
    EXPECT_EQ(test_file(*tester, container.c_str(), nullptr), StatusCode::ok);

    // The trailer tells a wrong key from damage, and the failed job leaves nothing.
    const fs::path wrong = dir / "wrong.bin";
    auto other = std::make_unique<JobContext>();
    EXPECT_EQ(decrypt_file(*other, container.c_str(), u16(wrong).c_str(), keyfile, u"not the password", nullptr),
              StatusCode::wrong_key);
    EXPECT_FALSE(fs::exists(wrong));
    if (keyfile != nullptr) {
        auto keyless = std::make_unique<JobContext>();
        EXPECT_EQ(decrypt_file(*keyless, container.c_str(), u16(wrong).c_str(), nullptr, x.password.c_str(), nullptr),
                  StatusCode::wrong_key);
        EXPECT_FALSE(fs::exists(wrong));
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FrozenContainer, ::testing::ValuesIn(read_manifest()));

}  // namespace
}  // namespace corvane
