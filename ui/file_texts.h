// The portable rules behind file inspection: which names count as
// containers, the default output names, the stored-name clean-up and the
// type description of a file.
#pragma once

#include <cstddef>

#include "engine/container/container_header.h"

namespace corvane::ui {

// An extension longer than this is cut (default names) or shortened (type texts).
inline constexpr std::size_t EXTENSION_LIMIT = 24;
// Room describe_file_type needs in its output.
inline constexpr std::size_t FILE_TYPE_UNITS = 32;

// "qvk" or "ptxt" in any letter case.
[[nodiscard]] bool is_container_extension(const char16_t* extension);

// Makes a stored name safe as a file name, in place: control units and
// " * / \ | become "_", ":" "-", "<" "(", ">" ")"; "?" or DEL ends the name.
char16_t* sanitise_stored_name(char16_t* text);

// The proposed container path for source_path: the path (cut to 259 units)
// with the extension of its name replaced by ".qvk"; without an extension the
// path itself, for the Save dialog to complete. out holds 512 units.
char16_t* default_encrypt_output(const char16_t* source_path, char16_t* out);

// The proposed name for decrypting a container: its stored file name,
// sanitised, with an extension longer than EXTENSION_LIMIT cut to it. A name
// only, no folder. out holds 512 units.
char16_t* default_decrypt_output(const ContainerHeader& header, char16_t* out);

// The system's friendly name for an extension given with its dot; returns
// false when it has none. out holds FILE_TYPE_UNITS units.
using FileTypeLookup = bool (*)(const char16_t* dotted_extension, char16_t* out);

// The type text of path into out (FILE_TYPE_UNITS units): "Unknown" for an
// empty path, "Directory" for one ending in a separator, "File" without an
// extension, the lookup's name if it has one, else the extension upper-cased
// (at most EXTENSION_LIMIT units) and " File". lookup may be null.
char16_t* describe_file_type(const char16_t* path, char16_t* out, FileTypeLookup lookup);

}  // namespace corvane::ui
