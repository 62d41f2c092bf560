#pragma once

#include <cstddef>
#include <string_view>

// Every working file (settings, snapshot, log, page template, start-up picture) lives next to the
// executable and is always located through a 260-byte buffer.
inline constexpr std::size_t kMaxPath = 260;

// Builds the path of fileName next to the executable whose full path is executablePath: the executable's
// path is taken with at most (size - strlen(fileName) - 10) characters, cut just after its last
// separator, and fileName is appended. A path without any separator leaves the bare file name. The result
// always ends with a NUL inside buffer[0..size). Returns buffer.
char* ModulePath(char* buffer, std::size_t size, std::string_view executablePath, const char* fileName,
                 char separator);
