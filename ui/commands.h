// The decisions behind opening a file and the Encrypt/Decrypt commands: how
// an inspected file is shown, the filters of the file dialogs, and the texts
// that go into the main window's fields.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/container/status.h"

namespace corvane::ui {

// File-dialog filters: pairs of NUL-terminated texts, the list ended by an
// empty text. size() counts every unit including the final NUL.
struct FilterList {
    const char16_t* units;
    std::size_t size;
};
[[nodiscard]] FilterList open_filter();
[[nodiscard]] FilterList open_key_filter();
[[nodiscard]] FilterList encrypt_save_filter();
inline constexpr const char16_t* ENCRYPT_DEFAULT_EXTENSION = u"qvk";
inline constexpr const char16_t* OPEN_KEY_CAPTION = u"Open Key";

// The Save filter for decrypting to output_name: the pair (type_text, "*"
// and the name's extension with its dot, "*" alone without one), written into
// out (capacity units, zeroed first so the list ends itself). Returns false,
// leaving out empty, when the pair does not fit.
bool decrypt_save_filter(const char16_t* type_text, const char16_t* output_name, char16_t* out,
                         std::size_t capacity);

// The Save dialog starts empty rather than inside a folder name.
[[nodiscard]] bool save_path_names_folder(const char16_t* path);

// After a successful encryption the window shows the new container.
[[nodiscard]] bool reinspect_after_encrypt(std::int32_t mode);

}  // namespace corvane::ui
