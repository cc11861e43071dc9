// What a file shows, computed once for the main window and corvane-cli info:
// the decision between container and plain file, and the texts of each.
#include "ui/file_view.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "jobs/file_jobs.h"
#include "tests/support/scratch.h"

namespace corvane::ui {
namespace {

using testing::Bytes;
using testing::u16;

TEST(Inspection, ContainerOnlyWhenNameAndContentAgree) {
    struct Case {
        StatusCode status;
        bool container_name;
        Inspection expected;
    };
    const Case cases[] = {
        {StatusCode::ok, true, Inspection::container},
        {StatusCode::ok, false, Inspection::plain_file},            // a container named notes.txt
        {StatusCode::not_container, true, Inspection::plain_file},  // fake.qvk holding text
        {StatusCode::not_container, false, Inspection::plain_file},
        {StatusCode::damaged, true, Inspection::failure},           // x.qvk with a bad checksum
        {StatusCode::damaged, false, Inspection::plain_file},       // the same file as x.bin
        {StatusCode::open_failed, true, Inspection::failure},
        {StatusCode::open_failed, false, Inspection::plain_file},   // open_source then decides
        {StatusCode::unsupported, true, Inspection::failure},
        {StatusCode::truncated, true, Inspection::failure},
    };
    for (const auto& c : cases)
        EXPECT_EQ(inspection_outcome(c.status, c.container_name), c.expected)
            << to_int(c.status) << " " << c.container_name;
}

TEST(Inspection, ShortFileSizeUsesBytesForEveryLength) {
    const std::pair<std::uint32_t, std::u16string> cases[] = {{0, u"0 bytes"}, {1, u"1 bytes"}, {31, u"31 bytes"}};
    for (const auto& [length, text] : cases) {
        char16_t out[64];
        EXPECT_EQ(std::u16string(short_file_size_text(out, length)), text);
    }
}

class View : public ::testing::Test {
protected:
    void SetUp() override { dir_ = testing::scratch_dir(); }

    // A container of content, stored under the source name, with a hint.
    Bytes container_of(const std::string& content, const std::u16string& name, const char16_t* hint) {
        const auto source = dir_ / std::filesystem::path(name);
        testing::write_file(source, Bytes(content.begin(), content.end()));
        const auto made = dir_ / "made.qvk";
        auto job = std::make_unique<JobContext>();
        EXPECT_EQ(encrypt_file(*job, u16(source).c_str(), u16(made).c_str(), nullptr, u"pw", hint, 65536, 7, nullptr),
                  StatusCode::ok);
        Bytes bytes = testing::read_file(made);
        std::filesystem::remove(made);
        std::filesystem::remove(source);
        return bytes;
    }

    FileView view(const std::string& file) {
        auto job = std::make_unique<JobContext>();
        FileView v;
        view_file(*job, u16(dir_ / file).c_str(), v, nullptr);
        EXPECT_EQ(job->source_handle, platform::INVALID_FILE) << "the source is closed again";
        return v;
    }

    std::filesystem::path dir_;
};

TEST_F(View, AContainerShowsWhatItStores) {
    testing::write_file(dir_ / "Notes.QVK", container_of(std::string(131072, 'x'), u"report.pdf", u"the usual"));
    const FileView v = view("Notes.QVK");
    ASSERT_EQ(v.kind, Inspection::container);
    EXPECT_EQ(std::u16string(v.name), u"report.pdf");
    EXPECT_EQ(std::u16string(v.type), u"QVK 7X Jumble, 64 KB Block");
    EXPECT_EQ(std::u16string(v.size), u"128 KB");
    EXPECT_NE(v.date[0], 0);
    EXPECT_EQ(std::u16string(v.hint), u"the usual");
}

TEST_F(View, TheContainerOfAShortFileHidesItsSize) {
    testing::write_file(dir_ / "short.qvk", container_of("ten bytes.", u"tiny.txt", nullptr));
    const FileView v = view("short.qvk");
    ASSERT_EQ(v.kind, Inspection::container);
    EXPECT_EQ(std::u16string(v.size), u"Unknown/Encrypted, 0 to 31 bytes");
    EXPECT_EQ(std::u16string(v.hint), u"");
}

TEST_F(View, PlainFilesShowTheirOwnNameTypeAndSize) {
    const Bytes container = container_of("inside", u"a.txt", nullptr);
    const std::string text = "just some text";
    testing::write_file(dir_ / "fake.qvk", Bytes(text.begin(), text.end()));
    testing::write_file(dir_ / "notes.txt", container);  // a container under another name
    testing::write_file(dir_ / "archive.tar.gz", Bytes(2048, 1));
    testing::write_file(dir_ / "empty", Bytes{});
    const struct {
        const char* file;
        const char16_t* type;
        const char16_t* size;
        std::uint32_t short_length;
    } cases[] = {
        {"fake.qvk", u"QVK File", u"14 bytes", 14},
        {"notes.txt", u"TXT File", nullptr, 0},
        {"archive.tar.gz", u"GZ File", u"2 KB", 0},
        {"empty", u"File", u"0 bytes", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const FileView v = view(c.file);
        ASSERT_EQ(v.kind, Inspection::plain_file);
        EXPECT_EQ(std::u16string(v.name), u16(std::filesystem::path(c.file)));
        EXPECT_EQ(std::u16string(v.type), c.type);
        if (c.size != nullptr) {
            EXPECT_EQ(std::u16string(v.size), c.size);
        }
        EXPECT_EQ(v.short_length, c.short_length);
        EXPECT_EQ(std::u16string(v.hint), u"");
    }
}

TEST_F(View, FailuresKeepTheirStatusAndReason) {
    Bytes damaged = container_of("some content", u"a.txt", nullptr);
    damaged[1020] ^= 1;  // the header's own sum
    testing::write_file(dir_ / "x.qvk", damaged);
    testing::write_file(dir_ / "x.bin", damaged);
    const FileView bad = view("x.qvk");
    EXPECT_EQ(bad.kind, Inspection::failure);
    EXPECT_EQ(bad.status, StatusCode::damaged);
    EXPECT_EQ(view("x.bin").kind, Inspection::plain_file);

    const FileView missing = view("absent.qvk");
    EXPECT_EQ(missing.kind, Inspection::failure);
    EXPECT_EQ(missing.status, StatusCode::open_failed);
    EXPECT_NE(missing.reason, 0u);
    const FileView missing_plain = view("absent.txt");
    EXPECT_EQ(missing_plain.kind, Inspection::failure);
    EXPECT_EQ(missing_plain.status, StatusCode::open_failed);
}

}  // namespace
}  // namespace corvane::ui
