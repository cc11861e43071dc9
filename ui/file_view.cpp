#include "ui/file_view.h"

#include "jobs/paths.h"

namespace corvane::ui {

namespace {

void copy_text(char16_t* out, const char16_t* text, std::size_t capacity) {
    std::size_t n = 0;
    for (; text[n] != 0 && n + 1 < capacity; ++n) out[n] = text[n];
    out[n] = 0;
}

void close_source(JobContext& job) {
    if (job.source_handle == platform::INVALID_FILE) return;
    platform::close(job.source_handle);
    job.source_handle = platform::INVALID_FILE;
}

void fail_view(const JobContext& job, FileView& view) {
    view.kind = Inspection::failure;
    view.status = job.status;
    view.reason = job.system_error;
}

void view_container(const ContainerHeader& header, FileView& view) {
    view.kind = Inspection::container;
    header_file_name(header, view.name);
    format_scheme(view.type, header.jumble_rounds(), header.block_size(), SCHEME_WITH_BLOCK);
    if ((header.flags() & FLAG_SHORT_FILE) != 0)
        copy_text(view.size, SHORT_CONTAINER_SIZE_TEXT, FORMAT_UNITS);
    else
        format_size(view.size, header.file_size());
    format_date_time(view.date, header.write_time());
    header_hint(header, view.hint);
}

void view_plain_file(JobContext& job, const char16_t* path, FileView& view, FileTypeLookup lookup) {
    job.header = ContainerHeader{};
    const StatusCode status = open_source(job, path);
    // A short file's true length, read before anything wipes the short block.
    const std::uint32_t short_length = job.short_buffer[SHORT_FILE_SIZE - 1];
    close_source(job);
    if (status != StatusCode::ok) {
        fail_view(job, view);
        return;
    }
    view.kind = Inspection::plain_file;
    PathParts parts{};
    split_path(parts, path);
    copy_text(view.name, parts.full + parts.name, FILE_NAME_UNITS + 1);
    describe_file_type(parts.full, view.type, lookup);
    if ((job.header.flags() & FLAG_SHORT_FILE) != 0) {
        view.short_length = short_length;
        short_file_size_text(view.size, short_length);
    } else {
        format_size(view.size, job.header.file_size());
    }
    format_date_time(view.date, job.header.write_time());
}

}  // namespace

Inspection inspection_outcome(StatusCode open_status, bool container_name) {
    if (!container_name || open_status == StatusCode::not_container) return Inspection::plain_file;
    return open_status == StatusCode::ok ? Inspection::container : Inspection::failure;
}

char16_t* short_file_size_text(char16_t* out, std::uint32_t length) {
    format_uint(out, u"%u bytes", length);
    return out;
}

void view_file(JobContext& job, const char16_t* path, FileView& view, FileTypeLookup lookup) {
    view = FileView{};
    PathParts parts{};
    split_path(parts, path);
    const bool container_name = is_container_extension(parts.full + parts.extension);
    const StatusCode opened = open_container(job, path);
    close_source(job);
    switch (inspection_outcome(opened, container_name)) {
    case Inspection::container: view_container(job.header, view); return;
    case Inspection::failure: fail_view(job, view); return;
    case Inspection::plain_file: view_plain_file(job, path, view, lookup); return;
    }
}

}  // namespace corvane::ui
