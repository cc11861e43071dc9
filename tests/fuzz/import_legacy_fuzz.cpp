// Any bytes as a legacy header with its texts: import_legacy_header must end
// in one of its codes and, on success, have built an image that stays inside
// the fields the layout maps to, with a correct header_sum.
#include <algorithm>

#include "engine/container/legacy_header.h"
#include "tests/fuzz/fuzz_support.h"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::Scratch& files = fuzz::scratch();
    files.put_input(data, size);

    const platform::FileHandle file = platform::open_read(files.input());
    fuzz::expect(file != platform::INVALID_FILE, "cannot open the input");
    const std::uint32_t version = size > 3 && data[3] < 2 ? data[3] : (size > 3 ? data[3] & 1u : 0u);

    // A stale image shows whether the import clears what it must.
    ContainerHeader image;
    image.bytes.fill(0xEE);
    const StatusCode status = import_legacy_header(file, image, version);
    platform::close(file);
    fuzz::expect_status(status, {StatusCode::ok, StatusCode::read_failed, StatusCode::not_container, StatusCode::damaged},
                        "import_legacy_header");
    if (status != StatusCode::ok) return 0;

    fuzz::expect(size >= LEGACY_HEADER_SIZE, "import of a file shorter than 64 bytes", static_cast<long>(size));
    fuzz::expect(std::equal(data, data + 4, image.bytes.begin()), "magic and version not copied");
    fuzz::expect(image.flags() == 0 && image.schedule_version() == 0, "legacy flags or variant");
    fuzz::expect(image.digest_rounds() == image.table_rounds() && image.digest_rounds() >= 4096 &&
                     image.digest_rounds() < 4096 + 65536,
                 "digest or table rounds");
    fuzz::expect(image.key_rounds() >= 256 && image.key_rounds() < 256 + 65536, "key rounds");
    fuzz::expect(image.header_sum() == rot_sum(image.bytes.data(), header_offset::header_sum), "header_sum");
    // Text areas hold at most 255 and 127 units; their last units and the
    // reserved areas stay zero.
    auto zero = [&](std::size_t from, std::size_t to) {
        return std::all_of(image.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                           image.bytes.begin() + static_cast<std::ptrdiff_t>(to), [](std::uint8_t b) { return b == 0; });
    };
    fuzz::expect(zero(32, 64), "reserved bytes 32-63 not cleared");
    fuzz::expect(zero(header_offset::file_name + 2 * FILE_NAME_UNITS, header_offset::hint), "file name overran");
    fuzz::expect(zero(header_offset::hint + 2 * HINT_UNITS, header_offset::header_sum), "hint overran");
    // Texts consumed: 64 bytes plus the capped characters at the version's width.
    const std::uint32_t width = version == 1 ? 2 : 1;
    const std::uint32_t hint = std::min<std::uint32_t>(load16_le(data + 12), 127);
    const std::uint32_t name = std::min<std::uint32_t>(load16_le(data + 14), 255);
    fuzz::expect(size >= LEGACY_HEADER_SIZE + width * (hint + name), "texts longer than the file");
    return 0;
}
