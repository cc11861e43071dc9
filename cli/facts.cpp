#include "cli/facts.h"

#include <cstdio>
#include <iterator>

#include "cli/text.h"
#include "ui/messages.h"

namespace corvane::cli {
namespace {

constexpr std::int64_t FILETIME_PER_SECOND = 10000000;
constexpr std::int64_t SECONDS_1601_TO_1970 = 11644473600;

// The civil date of a day number since 1970-01-01 (H. Hinnant's algorithm).
void civil_from_days(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

struct AttributeName {
    std::uint32_t bit;
    const char* name;
};
constexpr AttributeName ATTRIBUTE_NAMES[] = {
    {0x1, "read-only"},  {0x2, "hidden"},      {0x4, "system"},       {0x10, "directory"},
    {0x20, "archive"},   {0x80, "normal"},     {0x100, "temporary"},  {0x200, "sparse"},
    {0x400, "reparse point"}, {0x800, "compressed"}, {0x1000, "offline"}, {0x2000, "not content indexed"},
    {0x4000, "encrypted"},
};

Json time_json(std::uint64_t filetime) {
    return Json{{"utc", iso8601_utc(filetime)}, {"filetime", filetime}};
}

Json attributes_json(std::uint32_t attributes) {
    Json names = Json::array();
    for (const AttributeName& a : ATTRIBUTE_NAMES)
        if ((attributes & a.bit) != 0) names.push_back(a.name);
    return Json{{"value", attributes}, {"names", names}};
}

std::string text(const char16_t* units) { return to_display_utf8(units); }

}  // namespace

std::string iso8601_utc(std::uint64_t filetime) {
    const auto ticks = static_cast<std::int64_t>(filetime / static_cast<std::uint64_t>(FILETIME_PER_SECOND));
    const auto fraction = static_cast<unsigned long>(filetime % static_cast<std::uint64_t>(FILETIME_PER_SECOND));
    const std::int64_t unix_seconds = ticks - SECONDS_1601_TO_1970;
    std::int64_t days = unix_seconds / 86400;
    std::int64_t rest = unix_seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    std::int64_t year = 0;
    unsigned month = 0, day = 0;
    civil_from_days(days, year, month, day);
    char out[48];
    std::snprintf(out, sizeof out, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%07luZ", static_cast<long long>(year), month,
                  day, static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60), fraction);
    return out;
}

void add_status(Json& object, StatusCode status, platform::ErrorCode reason, const char16_t* success_text) {
    object["status"] = to_int(status);
    object["message"] = text(status == StatusCode::ok ? success_text : ui::status_message(status).text);
    char16_t because[256] = {};
    if (reason != 0) platform::error_text(reason, because, std::size(because));
    if (because[0] != 0) object["reason"] = text(because);
}

Json container_json(const std::u16string& path, const ContainerHeader& h, std::uint32_t format_version) {
    char16_t name[FILE_NAME_UNITS + 1] = {};
    char16_t hint[HINT_UNITS + 1] = {};
    header_file_name(h, name);
    header_hint(h, hint);
    char16_t scheme[ui::FORMAT_UNITS] = {};
    ui::format_scheme(scheme, h.jumble_rounds(), h.block_size(), ui::SCHEME_WITH_BLOCK);
    const bool short_file = (h.flags() & FLAG_SHORT_FILE) != 0;
    Json stored{{"name", text(name)}};
    // A file under 32 bytes is stored as 32: its own size is not told.
    stored["size"] = short_file ? Json(nullptr) : Json(h.file_size());
    stored["short_file"] = short_file;
    stored["last_write_time"] = time_json(h.write_time());
    stored["attributes"] = attributes_json(h.attributes());
    return Json{{"path", to_display_utf8(path)},
                {"kind", "container"},
                {"format_version", format_version},
                {"key_schedule_variant", h.schedule_version()},
                {"jumble_rounds", h.jumble_rounds()},
                {"block_size", h.block_size()},
                {"scheme", text(scheme)},
                {"stored", stored},
                {"hint", text(hint)}};
}

Json file_json(const std::u16string& path, const ui::FileView& view, const JobContext& job) {
    switch (view.kind) {
    case ui::Inspection::container: return container_json(path, job.header, job.format_version);
    case ui::Inspection::plain_file: {
        const ContainerHeader& h = job.header;
        const bool short_file = (h.flags() & FLAG_SHORT_FILE) != 0;
        return Json{{"path", to_display_utf8(path)},
                    {"kind", "plain file"},
                    {"type", text(view.type)},
                    {"size", short_file ? std::uint64_t{view.short_length} : h.file_size()},
                    {"last_write_time", time_json(h.write_time())},
                    {"attributes", attributes_json(h.attributes())}};
    }
    case ui::Inspection::failure: break;
    }
    Json failed{{"path", to_display_utf8(path)}};
    add_status(failed, view.status, view.reason, u"");
    return failed;
}

std::string json_text(const std::vector<Json>& values) {
    const Json all = values.size() == 1 ? values.front() : Json(values);
    return all.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace corvane::cli
