// What only the POSIX layer has to decide: strict name conversion and the
// mapping of attributes onto permission bits.
#include "platform/platform.h"
#include "tests/support/scratch.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace corvane::platform {
namespace {

using corvane::testing::scratch_dir;
using corvane::testing::u16;

TEST(PlatformPosix, UnpairedSurrogatesNeverReachTheFileSystem) {
    const auto dir = scratch_dir();
    const std::u16string base = u16(dir) + u"/";
    const std::u16string names[] = {
        base + u"lone\xD800high",
        base + u"lone\xDC00low",
        base + u"high at end\xD83D",
        base + u"\xDC00\xD800reversed",
    };
    for (const auto& path : names) {
        SCOPED_TRACE(path.size());
        EXPECT_EQ(create_write(path.c_str()), INVALID_FILE);
        EXPECT_EQ(create_new(path.c_str()), INVALID_FILE);
        EXPECT_EQ(open_read(path.c_str()), INVALID_FILE);
        EXPECT_FALSE(path_exists(path.c_str()));
    }
    EXPECT_TRUE(std::filesystem::is_empty(dir));
}

TEST(PlatformPosix, ALinkIsJudgedAsALinkAndReplacedAsOne) {
    const auto dir = scratch_dir();
    corvane::testing::write_file(dir / "from.tmp", {1, 2, 3});
    corvane::testing::write_file(dir / "victim", {9});
    std::filesystem::create_symlink("nowhere", dir / "dangling");
    std::filesystem::create_symlink("victim", dir / "pointing");
    const std::u16string from = u16(dir / "from.tmp");
    EXPECT_EQ(path_kind(u16(dir / "dangling").c_str()), PathKind::link);
    EXPECT_TRUE(path_exists(u16(dir / "dangling").c_str()));

    // A dangling link is something at the target.
    EXPECT_FALSE(move_new(from.c_str(), u16(dir / "dangling").c_str()));
    EXPECT_TRUE(is_exists_error(last_error()));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "dangling"));
    EXPECT_FALSE(std::filesystem::exists(dir / "nowhere"));

    // Replacing puts the file where the link was; what it pointed at stays.
    ASSERT_TRUE(replace_file(from.c_str(), u16(dir / "pointing").c_str()));
    EXPECT_FALSE(std::filesystem::is_symlink(dir / "pointing"));
    EXPECT_EQ(corvane::testing::read_file(dir / "pointing"), (corvane::testing::Bytes{1, 2, 3}));
    EXPECT_EQ(corvane::testing::read_file(dir / "victim"), (corvane::testing::Bytes{9}));
}

TEST(PlatformPosix, AttributesMapOntoWriteBits) {
    using std::filesystem::perms;
    const auto dir = scratch_dir();
    const auto file = dir / "f.bin";
    corvane::testing::write_file(file, {1, 2, 3});
    std::filesystem::permissions(file, perms::owner_read | perms::owner_write | perms::group_read | perms::group_write |
                                           perms::others_read);
    // Hidden and system have no meaning here and leave the bits alone.
    ASSERT_TRUE(set_attributes(u16(file).c_str(), ATTRIBUTE_HIDDEN | ATTRIBUTE_SYSTEM | ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(std::filesystem::status(file).permissions(),
              perms::owner_read | perms::owner_write | perms::group_read | perms::group_write | perms::others_read);

    ASSERT_TRUE(set_attributes(u16(file).c_str(), ATTRIBUTE_READONLY));
    EXPECT_EQ(std::filesystem::status(file).permissions(), perms::owner_read | perms::group_read | perms::others_read);

    ASSERT_TRUE(set_attributes(u16(file).c_str(), ATTRIBUTE_NORMAL));
    EXPECT_EQ(std::filesystem::status(file).permissions(), perms::owner_read | perms::owner_write | perms::group_read | perms::others_read);
}

TEST(PlatformPosix, TimesBeforeTheUnixEpochConvert) {
    const auto dir = scratch_dir();
    const std::u16string path = u16(dir / "old.bin");
    corvane::testing::write_file(dir / "old.bin", {});
    // Within what common file systems store (1901 onwards); the second one is
    // a negative time_t with a fraction.
    const std::uint64_t times[] = {110289600000000000ull /* 1950-07-01 */, 116444735995000000ull /* 1969-12-31 23:59:59.5 */};
    for (std::uint64_t t : times) {
        SCOPED_TRACE(t);
        {
            FileHandle out = create_write(path.c_str());
            ASSERT_NE(out, INVALID_FILE);
            EXPECT_TRUE(set_write_time(out, t));
            close(out);
        }
        FileHandle in = open_read(path.c_str());
        ASSERT_NE(in, INVALID_FILE);
        FileFacts facts;
        EXPECT_TRUE(file_facts(in, &facts));
        close(in);
        EXPECT_EQ(facts.write_time, t);
    }
}

}  // namespace
}  // namespace corvane::platform
