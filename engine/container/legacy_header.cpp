#include "engine/container/legacy_header.h"

#include <algorithm>

namespace corvane {

namespace {

namespace legacy_offset {
constexpr std::size_t mode_word = 4;
constexpr std::size_t header_check = 6;
constexpr std::size_t block_size = 8;
constexpr std::size_t hint_length = 12;
constexpr std::size_t name_length = 14;
constexpr std::size_t file_size = 16;
constexpr std::size_t modified = 24;
constexpr std::size_t attributes = 40;
constexpr std::size_t salt = 44;
constexpr std::size_t key_rounds_less_256 = 60;
constexpr std::size_t digest_rounds_less_4096 = 62;
}  // namespace legacy_offset

constexpr std::uint16_t MODE_STREAM = 256;
constexpr std::uint16_t MODE_JUMBLE_7 = 512;
constexpr std::uint16_t MODE_JUMBLE_FROM_BLOCK = 528;

[[nodiscard]] std::uint16_t rol16(std::uint16_t x) {
    return static_cast<std::uint16_t>((x << 1) | (x >> 15));
}

// Reads count characters of count * width bytes into area; one-byte
// characters are then widened in place to UTF-16 units, from the last one
// down so that no byte is overwritten before it is moved.
[[nodiscard]] bool read_text(platform::FileHandle file, std::uint8_t* area, std::uint32_t count, bool wide) {
    if (count == 0) return true;
    const std::uint32_t bytes = wide ? 2 * count : count;
    std::uint32_t got = 0;
    if (!platform::read(file, area, bytes, &got) || got != bytes) return false;
    if (!wide) {
        for (std::uint32_t i = count; i-- > 0;) {
            area[2 * i] = area[i];
            area[2 * i + 1] = 0;
        }
    }
    return true;
}

}  // namespace

std::uint16_t legacy_header_check(const std::uint8_t* salt, std::uint16_t key_rounds_less_256,
                                  std::uint16_t digest_rounds_less_4096) {
    // Salt bytes count as signed values: 0xFF adds -1, not 255.
    auto add = [](std::uint16_t g, std::uint8_t b) {
        return rol16(static_cast<std::uint16_t>(g + static_cast<std::int8_t>(b)));
    };
    std::uint16_t g = key_rounds_less_256;
    for (std::size_t i = 0; i < 8; ++i) {
        g = add(g, salt[i]);
        g = add(g, salt[8 + i]);
    }
    return static_cast<std::uint16_t>(g + digest_rounds_less_4096);
}

StatusCode import_legacy_header(platform::FileHandle file, ContainerHeader& image, std::uint32_t format_version) {
    std::uint8_t legacy[LEGACY_HEADER_SIZE] = {};
    std::uint32_t got = 0;
    if (!platform::seek(file, 0)) return StatusCode::read_failed;
    if (!platform::read(file, legacy, LEGACY_HEADER_SIZE, &got)) return StatusCode::read_failed;
    if (got < LEGACY_HEADER_SIZE || (load32_le(legacy) & 0xFFFFFFu) != HEADER_MAGIC) return StatusCode::not_container;

    const std::uint8_t* salt = legacy + legacy_offset::salt;
    const std::uint16_t key_less = load16_le(legacy + legacy_offset::key_rounds_less_256);
    const std::uint16_t digest_less = load16_le(legacy + legacy_offset::digest_rounds_less_4096);
    const std::uint16_t check = load16_le(legacy + legacy_offset::header_check);
    if (check != 0 && legacy_header_check(salt, key_less, digest_less) != check) return StatusCode::damaged;

    std::fill(image.bytes.begin() + 8, image.bytes.end(), std::uint8_t{0});
    std::copy(legacy, legacy + 4, image.bytes.begin());
    image.set_flags(0);
    image.set_schedule_version(0);

    const std::uint32_t block_size = load32_le(legacy + legacy_offset::block_size);
    switch (load16_le(legacy + legacy_offset::mode_word)) {
    case MODE_STREAM: image.set_jumble_rounds(0); break;
    case MODE_JUMBLE_7: image.set_jumble_rounds(7); break;
    case MODE_JUMBLE_FROM_BLOCK: image.set_jumble_rounds(block_size >> 8); break;
    default: return StatusCode::not_container;
    }

    image.set_block_size(block_size);
    std::copy(salt, salt + SALT_SIZE, image.salt());
    image.set_digest_rounds(digest_less + 4096u);
    image.set_key_rounds(key_less + 256u);
    image.set_table_rounds(digest_less + 4096u);
    image.set_file_size(load64_le(legacy + legacy_offset::file_size));
    image.set_attributes(load32_le(legacy + legacy_offset::attributes));

    const std::uint8_t* m = legacy + legacy_offset::modified;
    const platform::CalendarTime calendar{load16_le(m),      load16_le(m + 2),  load16_le(m + 4),
                                          load16_le(m + 6),  load16_le(m + 8),  load16_le(m + 10),
                                          load16_le(m + 12), load16_le(m + 14)};
    // An impossible date is only ever shown or restored as a time: keep 0.
    std::uint64_t write_time = 0;
    if (!platform::calendar_to_filetime(calendar, &write_time)) write_time = 0;
    image.set_write_time(write_time);

    const std::uint32_t hint_length = std::min<std::uint32_t>(load16_le(legacy + legacy_offset::hint_length), HINT_UNITS);
    const std::uint32_t name_length =
        std::min<std::uint32_t>(load16_le(legacy + legacy_offset::name_length), FILE_NAME_UNITS);
    const bool wide = format_version == 1;
    if (!read_text(file, &image.bytes[header_offset::hint], hint_length, wide)) return StatusCode::read_failed;
    if (!read_text(file, &image.bytes[header_offset::file_name], name_length, wide)) return StatusCode::read_failed;

    image.set_header_sum(rot_sum(image.bytes.data(), header_offset::header_sum));
    return StatusCode::ok;
}

}  // namespace corvane
