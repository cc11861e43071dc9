// The facts of a file as JSON for scripts (info --json, test --json).
#pragma once

#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "engine/container/job_context.h"
#include "ui/file_view.h"

namespace corvane::cli {

using Json = nlohmann::ordered_json;

// A FILETIME as ISO 8601 in UTC with its 100 ns digits, e.g.
// "2024-02-29T23:59:59.1234567Z".
[[nodiscard]] std::string iso8601_utc(std::uint64_t filetime);

// What view_file found for path, with the facts job.header holds after it:
// for a plain file its size, time and attributes; for a container its format,
// key-schedule variant, rounds, block size, the stored file's name, size,
// time and attributes, and the hint; for a failure its status and reason.
[[nodiscard]] Json file_json(const std::u16string& path, const ui::FileView& view, const JobContext& job);

// A container's facts from a header that open_container accepted.
[[nodiscard]] Json container_json(const std::u16string& path, const ContainerHeader& header,
                                  std::uint32_t format_version);

// A status as JSON members: "status" and "message" (and "reason" where the
// system gave one) added to object.
void add_status(Json& object, StatusCode status, platform::ErrorCode reason, const char16_t* success_text);

// The text of one JSON value or of several as an array, as printed.
[[nodiscard]] std::string json_text(const std::vector<Json>& values);

}  // namespace corvane::cli
