#include "ui/commands.h"

#include "jobs/paths.h"
#include "ui/app_state.h"
#include "ui/format.h"

namespace corvane::ui {

namespace {

template <std::size_t N>
constexpr FilterList filter_of(const char16_t (&units)[N]) {
    return {units, N};
}

// String literals add the final NUL that ends the list.
constexpr char16_t OPEN_FILTER[] = u"All Files\0*.*\0QVK Encrypted Files (.qvk)\0*.qvk\0";
constexpr char16_t OPEN_KEY_FILTER[] = u"All Files\0*.*\0";
constexpr char16_t ENCRYPT_FILTER[] = u"QVK Encrypted File (.qvk)\0*.qvk\0";

std::size_t length_of(const char16_t* text) {
    std::size_t n = 0;
    while (text[n] != u'\0') ++n;
    return n;
}

}  // namespace

FilterList open_filter() { return filter_of(OPEN_FILTER); }
FilterList open_key_filter() { return filter_of(OPEN_KEY_FILTER); }
FilterList encrypt_save_filter() { return filter_of(ENCRYPT_FILTER); }

bool decrypt_save_filter(const char16_t* type_text, const char16_t* output_name, char16_t* out,
                         std::size_t capacity) {
    for (std::size_t i = 0; i < capacity; ++i) out[i] = u'\0';
    const char16_t* extension = extension_dot(output_name);
    const std::size_t type_length = length_of(type_text);
    const std::size_t extension_length = length_of(extension);
    // type, NUL, "*", extension, NUL, and the empty text that ends the list.
    if (type_length + extension_length + 4 > capacity) return false;
    std::size_t n = 0;
    for (std::size_t i = 0; i < type_length; ++i) out[n++] = type_text[i];
    ++n;
    out[n++] = u'*';
    for (std::size_t i = 0; i < extension_length; ++i) out[n++] = extension[i];
    return true;
}

bool save_path_names_folder(const char16_t* path) {
    const std::size_t n = length_of(path);
    return n > 0 && is_separator(path[n - 1]);
}

bool reinspect_after_encrypt(std::int32_t mode) { return mode == MODE_ENCRYPTED; }

}  // namespace corvane::ui
