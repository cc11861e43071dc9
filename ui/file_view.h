// What a file shows: the one computation behind the main window's fields and
// corvane-cli info. A file is shown as a container only when both its name
// and its content say so; otherwise as the plain file it is.
#pragma once

#include <cstdint>

#include "engine/container/job_context.h"
#include "ui/file_texts.h"
#include "ui/format.h"

namespace corvane::ui {

// How an opened file is shown, from what open_container said and whether the
// name has a container extension: a container only when both agree; a
// container name whose content fails for another reason than "not a
// container" is an error; everything else is tried as a plain file.
enum class Inspection { container, plain_file, failure };
[[nodiscard]] Inspection inspection_outcome(StatusCode open_status, bool container_name);

// The size text of a container of a file under 32 bytes, whose true size the
// header does not tell.
inline constexpr const char16_t* SHORT_CONTAINER_SIZE_TEXT = u"Unknown/Encrypted, 0 to 31 bytes";

// The size text of a plain file under the short-file rule: the true length
// followed by " bytes". out holds at least FORMAT_UNITS units.
char16_t* short_file_size_text(char16_t* out, std::uint32_t length);

struct FileView {
    Inspection kind = Inspection::failure;
    StatusCode status = StatusCode::ok;  // failure: why
    platform::ErrorCode reason = 0;      // failure: the system's reason, if it gave one
    char16_t name[FILE_NAME_UNITS + 1] = {};  // the stored name, or the file's own name
    char16_t type[FORMAT_UNITS] = {};         // the scheme, or the type description
    char16_t size[FORMAT_UNITS] = {};
    char16_t date[DATE_TIME_UNITS] = {};
    char16_t hint[HINT_UNITS + 1] = {};  // a container's hint
    std::uint32_t short_length = 0;      // a plain file under 32 bytes: its true length
};

// Inspects path with job, whose source must not be open: the container, or
// else the plain file. Afterwards job.header holds what was read (a
// container's header, or a plain file's size, time and attributes) and the
// source is closed again. lookup gives the system's type names (may be null).
void view_file(JobContext& job, const char16_t* path, FileView& view, FileTypeLookup lookup);

}  // namespace corvane::ui
