// The one password of a call: from the terminal without echo, the first line
// of standard input, or a file (a pipe or FIFO too).
#pragma once

#include "cli/args.h"
#include "engine/cipher/key_schedule.h"
#include "platform/platform.h"

namespace corvane::cli {

struct Secret {
    char16_t units[PASSWORD_UNITS + 1] = {};
    Secret() = default;
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    ~Secret() { wipe(); }
    void wipe() { platform::secure_wipe(units, sizeof units); }
};

// 0 with the password in out, else the exit status (message shown). confirm:
// ask twice on a terminal (encryption), as the Select Password dialog does.
[[nodiscard]] int obtain_password(const Options& o, bool confirm, Secret& out);

}  // namespace corvane::cli
