#pragma once

// INI ("private profile") files: sections in square brackets, "key=value" lines. Section and key names
// compare without regard to letter case; values are trimmed of surrounding blanks. CR LF, LF and a bare
// CR all end a line, and a UTF-8 byte-order mark at the start is skipped (and kept when writing). Writing
// keeps every other line (comments and unknown lines included), changes an existing key in place, appends a
// new key at the end of its section and a new section at the end of the file. Thread-safe; nothing is cached.

#include <cstddef>
#include <optional>
#include <string>

#include "platform/Files.h"

namespace platform::profile {

// Copies the key's value, or defaultValue when the file, section or key is missing, into buffer, cut to
// capacity - 1 bytes and NUL-terminated. Returns the number of bytes copied.
std::size_t ReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                       std::size_t capacity, const char* path);
// The key's whole value; empty when the file, section or key is missing.
std::optional<std::string> ReadValue(const char* section, const char* key, const char* path);
// False when the file could not be written. A file written gets the readers given, whatever it had.
bool WriteString(const char* section, const char* key, const char* value, const char* path,
                 files::Readers readers = files::Readers::Everyone);

}  // namespace platform::profile
