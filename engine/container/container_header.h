// The 1024-byte container header, held as its exact on-disk image with typed
// accessors. All integers are little-endian.
//
//  OFFSET SIZE FIELD
//     0     3  magic "KVQ"
//     3     1  format_version (2; 0 and 1 are the legacy layout)
//     4     2  flags: FLAG_MIXED_KEYFILE, FLAG_SHORT_FILE
//     6     2  schedule_version 0..3
//     8     4  jumble_rounds
//    12     4  block_size
//    16    16  salt
//    32    32  reserved, zero
//    64     4  digest_rounds
//    68     4  key_rounds
//    72     4  table_rounds
//    76     8  file_size
//    84     8  write_time (FILETIME)
//    92     4  attributes
//    96   512  file_name, UTF-16, zero-padded
//   608   256  hint, UTF-16, zero-padded
//   864   156  reserved, zero
//  1020     4  header_sum: RotSum of bytes 0..1019
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "engine/container/bytes.h"

namespace corvane {

inline constexpr std::size_t HEADER_SIZE = 1024;

inline constexpr std::uint32_t HEADER_MAGIC = 0x51564B;  // "KVQ" as the low 24 bits
inline constexpr std::uint8_t CURRENT_FORMAT_VERSION = 2;
inline constexpr std::uint16_t CURRENT_SCHEDULE_VERSION = 3;

inline constexpr std::uint16_t FLAG_MIXED_KEYFILE = 1;
inline constexpr std::uint16_t FLAG_SHORT_FILE = 2;

inline constexpr std::uint32_t SHORT_FILE_SIZE = 32;
inline constexpr std::size_t FILE_NAME_UNITS = 255;  // stored at most; 256th unit is the terminator
inline constexpr std::size_t HINT_UNITS = 127;

// The largest values a header may hold: any round count, and the block size.
inline constexpr std::uint32_t MAX_ROUNDS = 1048576;
inline constexpr std::uint32_t MAX_BLOCK_SIZE = 50331648;

namespace header_offset {
inline constexpr std::size_t magic = 0;
inline constexpr std::size_t format_version = 3;
inline constexpr std::size_t flags = 4;
inline constexpr std::size_t schedule_version = 6;
inline constexpr std::size_t jumble_rounds = 8;
inline constexpr std::size_t block_size = 12;
inline constexpr std::size_t salt = 16;
inline constexpr std::size_t digest_rounds = 64;
inline constexpr std::size_t key_rounds = 68;
inline constexpr std::size_t table_rounds = 72;
inline constexpr std::size_t file_size = 76;
inline constexpr std::size_t write_time = 84;
inline constexpr std::size_t attributes = 92;
inline constexpr std::size_t file_name = 96;
inline constexpr std::size_t hint = 608;
inline constexpr std::size_t header_sum = 1020;
}  // namespace header_offset

inline constexpr std::size_t SALT_SIZE = 16;

struct ContainerHeader {
    std::array<std::uint8_t, HEADER_SIZE> bytes{};

    [[nodiscard]] std::uint32_t magic() const { return load32_le(&bytes[0]) & 0xFFFFFFu; }
    [[nodiscard]] std::uint8_t format_version() const { return bytes[header_offset::format_version]; }
    [[nodiscard]] std::uint16_t flags() const { return load16_le(&bytes[header_offset::flags]); }
    [[nodiscard]] std::uint16_t schedule_version() const { return load16_le(&bytes[header_offset::schedule_version]); }
    [[nodiscard]] std::uint32_t jumble_rounds() const { return load32_le(&bytes[header_offset::jumble_rounds]); }
    [[nodiscard]] std::uint32_t block_size() const { return load32_le(&bytes[header_offset::block_size]); }
    [[nodiscard]] const std::uint8_t* salt() const { return &bytes[header_offset::salt]; }
    [[nodiscard]] std::uint32_t digest_rounds() const { return load32_le(&bytes[header_offset::digest_rounds]); }
    [[nodiscard]] std::uint32_t key_rounds() const { return load32_le(&bytes[header_offset::key_rounds]); }
    [[nodiscard]] std::uint32_t table_rounds() const { return load32_le(&bytes[header_offset::table_rounds]); }
    [[nodiscard]] std::uint64_t file_size() const { return load64_le(&bytes[header_offset::file_size]); }
    [[nodiscard]] std::uint64_t write_time() const { return load64_le(&bytes[header_offset::write_time]); }
    [[nodiscard]] std::uint32_t attributes() const { return load32_le(&bytes[header_offset::attributes]); }
    [[nodiscard]] std::uint32_t header_sum() const { return load32_le(&bytes[header_offset::header_sum]); }
    // UTF-16 unit i of the stored name / hint (i below 256 / 128).
    [[nodiscard]] char16_t file_name_unit(std::size_t i) const {
        return static_cast<char16_t>(load16_le(&bytes[header_offset::file_name + 2 * i]));
    }
    [[nodiscard]] char16_t hint_unit(std::size_t i) const {
        return static_cast<char16_t>(load16_le(&bytes[header_offset::hint + 2 * i]));
    }

    void set_flags(std::uint16_t v) { store16_le(&bytes[header_offset::flags], v); }
    void set_schedule_version(std::uint16_t v) { store16_le(&bytes[header_offset::schedule_version], v); }
    void set_jumble_rounds(std::uint32_t v) { store32_le(&bytes[header_offset::jumble_rounds], v); }
    void set_block_size(std::uint32_t v) { store32_le(&bytes[header_offset::block_size], v); }
    [[nodiscard]] std::uint8_t* salt() { return &bytes[header_offset::salt]; }
    void set_digest_rounds(std::uint32_t v) { store32_le(&bytes[header_offset::digest_rounds], v); }
    void set_key_rounds(std::uint32_t v) { store32_le(&bytes[header_offset::key_rounds], v); }
    void set_table_rounds(std::uint32_t v) { store32_le(&bytes[header_offset::table_rounds], v); }
    void set_file_size(std::uint64_t v) { store64_le(&bytes[header_offset::file_size], v); }
    void set_write_time(std::uint64_t v) { store64_le(&bytes[header_offset::write_time], v); }
    void set_attributes(std::uint32_t v) { store32_le(&bytes[header_offset::attributes], v); }
    void set_header_sum(std::uint32_t v) { store32_le(&bytes[header_offset::header_sum], v); }
};
static_assert(sizeof(ContainerHeader) == HEADER_SIZE);

// Copies the stored file name / hint into out (256 / 128 units, always
// NUL-terminated).
void header_file_name(const ContainerHeader& header, char16_t* out);
void header_hint(const ContainerHeader& header, char16_t* out);

}  // namespace corvane
