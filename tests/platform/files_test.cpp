// The file services as the jobs use them: transfers, share modes, replacing,
// times, attributes and names outside ASCII.
#include "platform/platform.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace corvane::platform {
namespace {

using corvane::testing::Bytes;
using corvane::testing::pattern_bytes;
using corvane::testing::read_file;
using corvane::testing::scratch_dir;
using corvane::testing::u16;
using corvane::testing::write_file;

// Closes on scope exit so a failed assertion does not leak a handle into the
// next test's share checks.
struct Handle {
    FileHandle h;
    explicit Handle(FileHandle file) : h(file) {}
    ~Handle() { reset(); }
    void reset() {
        close(h);
        h = INVALID_FILE;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
};

Bytes read_all(FileHandle file, std::uint32_t size) {
    Bytes out(size);
    std::uint32_t got = 0;
    EXPECT_TRUE(read(file, out.data(), size, &got));
    out.resize(got);
    return out;
}

TEST(PlatformFiles, WriteThenReadWithSeeksAndShortReadsAtEnd) {
    const auto dir = scratch_dir();
    const std::u16string path = u16(dir / "data.bin");
    const Bytes data = pattern_bytes(1000, 7);
    {
        Handle out(create_write(path.c_str()));
        ASSERT_NE(out.h, INVALID_FILE);
        std::uint32_t put = 0;
        ASSERT_TRUE(write(out.h, data.data(), 1000, &put));
        EXPECT_EQ(put, 1000u);
    }
    struct Case {
        std::uint64_t offset;
        std::uint32_t request;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {0, 1000, 1000},  {0, 400, 400},    {100, 10, 10},  {999, 1, 1}, {990, 64, 10},
        {0, 4096, 1000},  {1000, 16, 0},    {5000, 16, 0},  {0, 0, 0},
    };
    Handle in(open_read(path.c_str()));
    ASSERT_NE(in.h, INVALID_FILE);
    for (const Case& c : cases) {
        SCOPED_TRACE("offset " + std::to_string(c.offset) + " request " + std::to_string(c.request));
        ASSERT_TRUE(seek(in.h, c.offset));
        const Bytes got = read_all(in.h, c.request);
        ASSERT_EQ(got.size(), c.expected);
        for (std::size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], data[c.offset + i]) << "at " << i;
    }
    // Consecutive reads continue where the last one stopped, then deliver nothing.
    ASSERT_TRUE(seek(in.h, 0));
    EXPECT_EQ(read_all(in.h, 600).size(), 600u);
    const Bytes tail = read_all(in.h, 600);
    ASSERT_EQ(tail.size(), 400u);
    EXPECT_EQ(tail.front(), data[600]);
    EXPECT_EQ(read_all(in.h, 600).size(), 0u);
}

TEST(PlatformFiles, CreateWriteTruncatesAClosedFile) {
    const auto dir = scratch_dir();
    write_file(dir / "old.bin", pattern_bytes(5000));
    {
        Handle out(create_write(u16(dir / "old.bin").c_str()));
        ASSERT_NE(out.h, INVALID_FILE);
        std::uint32_t put = 0;
        ASSERT_TRUE(write(out.h, "abc", 3, &put));
    }
    EXPECT_EQ(read_file(dir / "old.bin"), (Bytes{'a', 'b', 'c'}));
}

TEST(PlatformFiles, OpenReadRefusesMissingFilesAndFolders) {
    const auto dir = scratch_dir();
    std::filesystem::create_directory(dir / "sub");
    for (const char* name : {"missing.bin", "sub"}) {
        SCOPED_TRACE(name);
        Handle in(open_read(u16(dir / name).c_str()));
        EXPECT_EQ(in.h, INVALID_FILE);
    }
}

// A job must never truncate its own input, however the output path is spelled.
TEST(PlatformFiles, CreateWriteRefusesAFileOpenForReading) {
    const auto dir = scratch_dir();
    const Bytes data = pattern_bytes(300);
    write_file(dir / "source.bin", data);
    const std::u16string spellings[] = {u16(dir / "source.bin"), u16(dir / "." / "source.bin")};
    Handle in(open_read(spellings[0].c_str()));
    ASSERT_NE(in.h, INVALID_FILE);
    for (const auto& path : spellings) {
        Handle out(create_write(path.c_str()));
        EXPECT_EQ(out.h, INVALID_FILE);
    }
    EXPECT_EQ(read_file(dir / "source.bin"), data);

    // A second reader is fine, and once every reader is gone the file may be written.
    {
        Handle second(open_read(spellings[1].c_str()));
        EXPECT_NE(second.h, INVALID_FILE);
    }
    EXPECT_EQ(read_file(dir / "source.bin"), data);
    in.reset();
    Handle out(create_write(spellings[0].c_str()));
    EXPECT_NE(out.h, INVALID_FILE);
}

TEST(PlatformFiles, AFileOpenForWritingIsNotShared) {
    const auto dir = scratch_dir();
    const std::u16string path = u16(dir / "out.bin");
    Handle out(create_write(path.c_str()));
    ASSERT_NE(out.h, INVALID_FILE);
    Handle reader(open_read(path.c_str()));
    EXPECT_EQ(reader.h, INVALID_FILE);
    Handle writer(create_write(path.c_str()));
    EXPECT_EQ(writer.h, INVALID_FILE);
}

TEST(PlatformFiles, CreateNewRefusesAnExistingFile) {
    const auto dir = scratch_dir();
    const Bytes data = pattern_bytes(64);
    write_file(dir / "taken.bin", data);
    {
        Handle out(create_new(u16(dir / "taken.bin").c_str()));
        EXPECT_EQ(out.h, INVALID_FILE);
    }
    EXPECT_EQ(read_file(dir / "taken.bin"), data);
    {
        Handle out(create_new(u16(dir / "fresh.bin").c_str()));
        ASSERT_NE(out.h, INVALID_FILE);
        std::uint32_t put = 0;
        ASSERT_TRUE(write(out.h, data.data(), 64, &put));
    }
    EXPECT_EQ(read_file(dir / "fresh.bin"), data);
}

TEST(PlatformFiles, ReplaceFileMovesOverAnExistingOrMissingTarget) {
    const auto dir = scratch_dir();
    const Bytes data = pattern_bytes(100, 3);
    for (bool target_exists : {false, true}) {
        SCOPED_TRACE(target_exists ? "existing target" : "missing target");
        write_file(dir / "from.tmp", data);
        if (target_exists) {
            write_file(dir / "to.bin", pattern_bytes(7, 9));
        } else {
            std::filesystem::remove(dir / "to.bin");
        }
        ASSERT_TRUE(replace_file(u16(dir / "from.tmp").c_str(), u16(dir / "to.bin").c_str()));
        EXPECT_FALSE(std::filesystem::exists(dir / "from.tmp"));
        EXPECT_EQ(read_file(dir / "to.bin"), data);
    }
}

TEST(PlatformFiles, ReplaceFileRefusesAndLeavesBothFilesIntact) {
    const auto dir = scratch_dir();
    const Bytes from_data = pattern_bytes(100, 1);
    const Bytes to_data = pattern_bytes(200, 2);
    const std::u16string from = u16(dir / "from.tmp");
    const std::u16string to = u16(dir / "to.bin");
    enum class Obstacle { open_source, read_only, folder };
    for (Obstacle obstacle : {Obstacle::open_source, Obstacle::read_only, Obstacle::folder}) {
        SCOPED_TRACE(static_cast<int>(obstacle));
        std::filesystem::remove_all(dir / "to.bin");
        write_file(dir / "from.tmp", from_data);
        if (obstacle == Obstacle::folder) {
            std::filesystem::create_directory(dir / "to.bin");
        } else {
            write_file(dir / "to.bin", to_data);
        }
        if (obstacle == Obstacle::read_only) {
            ASSERT_TRUE(set_attributes(to.c_str(), ATTRIBUTE_READONLY));
        }
        Handle held(obstacle == Obstacle::open_source ? open_read(to.c_str()) : INVALID_FILE);

        EXPECT_FALSE(replace_file(from.c_str(), to.c_str()));
        held.reset();
        EXPECT_EQ(read_file(dir / "from.tmp"), from_data);
        if (obstacle == Obstacle::folder) {
            EXPECT_TRUE(std::filesystem::is_directory(dir / "to.bin"));
        } else {
            EXPECT_EQ(read_file(dir / "to.bin"), to_data);
            ASSERT_TRUE(set_attributes(to.c_str(), ATTRIBUTE_ARCHIVE));
        }
    }
}

TEST(PlatformFiles, MoveNewNeverReplacesWhatStandsAtTheTarget) {
    const auto dir = scratch_dir();
    const Bytes data = pattern_bytes(100, 4);
    const std::u16string from = u16(dir / "from.tmp");
    const std::u16string to = u16(dir / "to.bin");
    write_file(dir / "from.tmp", data);
    ASSERT_TRUE(move_new(from.c_str(), to.c_str()));
    EXPECT_FALSE(std::filesystem::exists(dir / "from.tmp"));
    EXPECT_EQ(read_file(dir / "to.bin"), data);

    // The target that is there now stays, and so does the file that would move.
    const Bytes newer = pattern_bytes(50, 5);
    write_file(dir / "from.tmp", newer);
    EXPECT_FALSE(move_new(from.c_str(), to.c_str()));
    EXPECT_TRUE(is_exists_error(last_error()));
    EXPECT_EQ(read_file(dir / "to.bin"), data);
    EXPECT_EQ(read_file(dir / "from.tmp"), newer);
}

TEST(PlatformFiles, OpenReadAndCreateNewRefuseAFolderWithAReason) {
    const auto dir = scratch_dir();
    std::filesystem::create_directory(dir / "folder");
    const std::u16string folder = u16(dir / "folder");
    EXPECT_EQ(open_read(folder.c_str()), INVALID_FILE);
    char16_t text[128] = {};
    error_text(last_error(), text, 128);
    EXPECT_NE(text[0], 0) << "the refusal has a reason";
    EXPECT_EQ(create_new(folder.c_str()), INVALID_FILE);
    EXPECT_EQ(open_read(u16(dir / "missing").c_str()), INVALID_FILE);
    error_text(last_error(), text, 128);
    EXPECT_NE(text[0], 0);
    // The system's words come without a final period or line end.
    std::size_t n = 0;
    while (text[n] != 0) ++n;
    EXPECT_NE(text[n - 1], u'.');
    EXPECT_NE(text[n - 1], u'\n');
}

TEST(PlatformFiles, PathKindJudgesTheNameItself) {
    const auto dir = scratch_dir();
    write_file(dir / "file.bin", pattern_bytes(5));
    std::filesystem::create_directory(dir / "folder");
    EXPECT_EQ(path_kind(u16(dir / "file.bin").c_str()), PathKind::file);
    EXPECT_EQ(path_kind(u16(dir / "folder").c_str()), PathKind::folder);
    EXPECT_EQ(path_kind(u16(dir / "missing").c_str()), PathKind::missing);
}

TEST(PlatformFiles, OwnReasonsHaveTexts) {
    for (const ErrorCode code : {ERROR_NOT_REGULAR_FILE, ERROR_TARGET_EXISTS, ERROR_READ_ONLY_TARGET}) {
        char16_t text[64] = {};
        error_text(code, text, 64);
        EXPECT_NE(text[0], 0) << code;
    }
    EXPECT_TRUE(is_exists_error(ERROR_TARGET_EXISTS));
    EXPECT_FALSE(is_exists_error(ERROR_NOT_REGULAR_FILE));
}

TEST(PlatformFiles, WriteTimeRoundTrip) {
    const auto dir = scratch_dir();
    const std::u16string path = u16(dir / "timed.bin");
    write_file(dir / "timed.bin", pattern_bytes(10));
    const std::uint64_t times[] = {
        116444736000000000ull,       // 1970-01-01
        119600064000000000ull,       // 1980-01-01
        125963012967890000ull,       // 2000-02-29 12:34:56.789
        133801631999990000ull + 1,   // 2024-12-31 23:59:59.9990001: 100 ns kept
        138666240000000000ull,       // 2040-06-01, past 32-bit time_t
    };
    for (std::uint64_t t : times) {
        SCOPED_TRACE(t);
        {
            Handle out(create_write(path.c_str()));
            ASSERT_NE(out.h, INVALID_FILE);
            ASSERT_TRUE(set_write_time(out.h, t));
        }
        Handle in(open_read(path.c_str()));
        ASSERT_NE(in.h, INVALID_FILE);
        FileFacts facts;
        ASSERT_TRUE(file_facts(in.h, &facts));
        EXPECT_EQ(facts.write_time, t);
        EXPECT_EQ(facts.size, 0u);
    }
}

TEST(PlatformFiles, FactsReportSizeAndReadOnlyAttribute) {
    const auto dir = scratch_dir();
    const std::u16string path = u16(dir / "attr.bin");
    write_file(dir / "attr.bin", pattern_bytes(4321));
    const auto facts_of = [&] {
        FileFacts facts;
        Handle in(open_read(path.c_str()));
        EXPECT_NE(in.h, INVALID_FILE);
        EXPECT_TRUE(file_facts(in.h, &facts));
        return facts;
    };
    FileFacts facts = facts_of();
    EXPECT_EQ(facts.size, 4321u);
    EXPECT_EQ(facts.attributes & (ATTRIBUTE_READONLY | ATTRIBUTE_DIRECTORY), 0u);

    ASSERT_TRUE(set_attributes(path.c_str(), ATTRIBUTE_READONLY | ATTRIBUTE_ARCHIVE));
    facts = facts_of();
    EXPECT_NE(facts.attributes & ATTRIBUTE_READONLY, 0u);
    {
        // Windows refuses to overwrite a read-only file; so must every system.
        Handle out(create_write(path.c_str()));
        EXPECT_EQ(out.h, INVALID_FILE);
    }
    EXPECT_EQ(read_file(dir / "attr.bin").size(), 4321u);

    ASSERT_TRUE(set_attributes(path.c_str(), ATTRIBUTE_ARCHIVE));
    facts = facts_of();
    EXPECT_EQ(facts.attributes & ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(delete_file(path.c_str()));
    EXPECT_FALSE(path_exists(path.c_str()));
}

TEST(PlatformFiles, ExistenceIdentityAndDeletion) {
    const auto dir = scratch_dir();
    write_file(dir / "a.bin", pattern_bytes(5));
    write_file(dir / "b.bin", pattern_bytes(5));
    const std::u16string a = u16(dir / "a.bin");
    const std::u16string a_again = u16(dir / "." / "a.bin");
    const std::u16string b = u16(dir / "b.bin");
    const std::u16string missing = u16(dir / "missing.bin");

    EXPECT_TRUE(path_exists(a.c_str()));
    EXPECT_TRUE(path_exists(u16(dir).c_str()));
    EXPECT_FALSE(path_exists(missing.c_str()));

    EXPECT_TRUE(same_file(a.c_str(), a_again.c_str()));
    EXPECT_FALSE(same_file(a.c_str(), b.c_str()));
    EXPECT_FALSE(same_file(a.c_str(), missing.c_str()));

    EXPECT_TRUE(delete_file(a.c_str()));
    EXPECT_FALSE(path_exists(a.c_str()));
    EXPECT_FALSE(delete_file(a.c_str()));
    EXPECT_TRUE(path_exists(b.c_str()));
}

TEST(PlatformFiles, FreeSpaceOfAFolderAndOfTheCurrentOne) {
    const auto dir = scratch_dir();
    const std::u16string with_separator = u16(dir) + static_cast<char16_t>(std::filesystem::path::preferred_separator);
    for (const std::u16string& folder : {with_separator, std::u16string()}) {
        std::uint64_t bytes = 0;
        ASSERT_TRUE(free_space(folder.c_str(), &bytes));
        EXPECT_GT(bytes, 0u);
        EXPECT_LT(bytes, 1ull << 60);
    }
    std::uint64_t bytes = 0;
    EXPECT_FALSE(free_space(u16(dir / "no" / "such" / "folder" / "").c_str(), &bytes));
}

TEST(PlatformFiles, NamesOutsideAsciiRoundTrip) {
    const auto dir = scratch_dir();
    const std::u16string names[] = {
        u"caf\u00e9.txt",            // Latin-1
        u"\u0444\u0430\u0439\u043b",  // Cyrillic
        u"\u6587\u4ef6.qvk",          // CJK
        u"\U0001F510 key.bin",        // outside the BMP: a surrogate pair
    };
    int seed = 1;
    for (const auto& name : names) {
        const std::u16string path = u16(dir) + static_cast<char16_t>(std::filesystem::path::preferred_separator) + name;
        const Bytes data = pattern_bytes(50, static_cast<std::uint32_t>(seed++));
        {
            Handle out(create_write(path.c_str()));
            ASSERT_NE(out.h, INVALID_FILE);
            std::uint32_t put = 0;
            ASSERT_TRUE(write(out.h, data.data(), 50, &put));
        }
        // The name on disk is the one given, as the rest of the system sees it.
        EXPECT_EQ(read_file(dir / std::filesystem::path(name)), data);
        EXPECT_TRUE(path_exists(path.c_str()));
        Handle in(open_read(path.c_str()));
        ASSERT_NE(in.h, INVALID_FILE);
        EXPECT_EQ(read_all(in.h, 100), data);
    }
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) ++entries;
    EXPECT_EQ(entries, std::size(names));
}

}  // namespace
}  // namespace corvane::platform
