// The texts a front end shows for a status and for the end of a job.
#pragma once

#include <cstdint>

#include "engine/container/status.h"
#include "jobs/job_kind.h"

namespace corvane::ui {

struct MessageText {
    const char16_t* title;
    const char16_t* text;
};

// Title and sentence of the message for a status; both empty for ok, and
// "Error" / "Error" for a code without a message of its own.
[[nodiscard]] MessageText status_message(StatusCode status);
[[nodiscard]] MessageText status_message(std::int32_t status);

// The window title and status text a job shows when it starts ("Encrypting",
// "Encrypting..."); both empty for an unknown kind.
[[nodiscard]] MessageText job_start_text(JobKind kind);

// The status text for a completion kind (0 to 5); empty for any other.
[[nodiscard]] const char16_t* job_result_text(std::uint32_t completion_kind);

}  // namespace corvane::ui
