// Reading the 64-byte header of format versions 0 and 1 into the 1024-byte image.
//
//  OFFSET SIZE FIELD
//     0     3  magic "KVQ"
//     3     1  format_version 0 or 1
//     4     2  mode_word 256, 512 or 528
//     6     2  header_check (0: none)
//     8     4  legacy_block_size
//    12     2  hint_length (characters)
//    14     2  name_length (characters)
//    16     8  file_size
//    24    16  modified: 8 x u16 calendar fields
//    40     4  attributes
//    44    16  salt
//    60     2  key_rounds_less_256
//    62     2  digest_rounds_less_4096
// then the hint and the name: one byte per character (v0) or UTF-16LE (v1).
#pragma once

#include <cstdint>

#include "engine/container/container_header.h"
#include "engine/container/status.h"
#include "platform/platform.h"

namespace corvane {

inline constexpr std::size_t LEGACY_HEADER_SIZE = 64;

[[nodiscard]] std::uint16_t legacy_header_check(const std::uint8_t* salt, std::uint16_t key_rounds_less_256,
                                                std::uint16_t digest_rounds_less_4096);

[[nodiscard]] StatusCode import_legacy_header(platform::FileHandle file, ContainerHeader& image,
                                              std::uint32_t format_version);

}  // namespace corvane
