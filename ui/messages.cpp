#include "ui/messages.h"

namespace corvane::ui {

namespace {

struct StatusEntry {
    StatusCode status;
    MessageText message;
};

constexpr StatusEntry STATUS_MESSAGES[] = {
    {StatusCode::ok, {u"", u""}},
    {StatusCode::no_memory, {u"Memory Error", u"Memory allocation failed."}},
    {StatusCode::no_thread, {u"Error", u"Thread creation failed."}},
    {StatusCode::no_window, {u"Error", u"Window creation failed."}},
    {StatusCode::open_failed, {u"Open Error", u"The file cannot be opened."}},
    {StatusCode::read_failed, {u"Read Error", u"File read failed."}},
    {StatusCode::create_failed, {u"Save Error", u"The file cannot be saved."}},
    {StatusCode::write_failed, {u"Write Error", u"File write failed."}},
    {StatusCode::disk_full, {u"Storage Error", u"There is not enough free disk space."}},
    {StatusCode::not_container, {u"Open Error", u"The file is not a valid QVK format file."}},
    {StatusCode::unsupported, {u"Open Error", u"The file may require a newer version of Corvane."}},
    {StatusCode::damaged, {u"Checksum Error", u"Checksum failed. The file may be corrupt."}},
    {StatusCode::truncated,
     {u"Unexpected End of File Error", u"The file may be corrupt, incomplete, or incompatible."}},
    {StatusCode::wrong_key, {u"Password Error", u"The password and/or keyfile you have entered is incorrect."}},
    {StatusCode::confirm_mismatch, {u"Password Error", u"Password and Confirm do not match. Try again."}},
};

constexpr MessageText UNKNOWN_STATUS = {u"Error", u"Error"};

constexpr MessageText JOB_START_TEXTS[] = {
    {u"Decrypting", u"Decrypting..."},
    {u"Encrypting", u"Encrypting..."},
    {u"Testing", u"Testing..."},
};

constexpr const char16_t* JOB_RESULT_TEXTS[] = {
    u"Decryption completed successfully.",
    u"Decryption failed.",
    u"Encryption completed successfully.",
    u"Encryption failed.",
    u"Test completed. There are no errors.",
    u"Test failed.",
};

}  // namespace

MessageText status_message(std::int32_t status) {
    for (const StatusEntry& entry : STATUS_MESSAGES)
        if (to_int(entry.status) == status) return entry.message;
    return UNKNOWN_STATUS;
}

MessageText status_message(StatusCode status) { return status_message(to_int(status)); }

MessageText job_start_text(JobKind kind) {
    const auto index = static_cast<std::uint32_t>(kind);
    if (index < sizeof JOB_START_TEXTS / sizeof JOB_START_TEXTS[0]) return JOB_START_TEXTS[index];
    return {u"", u""};
}

const char16_t* job_result_text(std::uint32_t completion_kind) {
    if (completion_kind < sizeof JOB_RESULT_TEXTS / sizeof JOB_RESULT_TEXTS[0]) return JOB_RESULT_TEXTS[completion_kind];
    return u"";
}

}  // namespace corvane::ui
