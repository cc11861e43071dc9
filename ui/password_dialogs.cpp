#include "ui/password_dialogs.h"

namespace corvane::ui {

namespace {

constexpr std::uint32_t JUMBLE_CHOICES[] = {0, 1, 2, 3, 7, 25, 85, 300, 1024, 3600, 12800, 45000};
constexpr std::uint32_t BLOCK_SIZE_CHOICES[] = {32768,   65536,   131072,  262144, 524288,
                                                1048576, 2097152, 4194304, 8388608};

}  // namespace

std::span<const std::uint32_t> jumble_choices() { return JUMBLE_CHOICES; }
std::span<const std::uint32_t> block_size_choices() { return BLOCK_SIZE_CHOICES; }

bool passwords_match(const char16_t* password, const char16_t* confirm) {
    std::size_t i = 0;
    while (password[i] == confirm[i]) {
        if (password[i] == u'\0') return true;
        ++i;
    }
    return false;
}

char16_t password_char(bool show_ticked) { return show_ticked ? u'\0' : PASSWORD_CHAR; }

std::size_t wipe_buffer_units(std::size_t length) { return length < WIPE_LIMIT ? length : WIPE_LIMIT; }

void copy_limited(char16_t* out, const char16_t* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != u'\0') {
        out[n] = text[n];
        ++n;
    }
    out[n] = u'\0';
}

}  // namespace corvane::ui
