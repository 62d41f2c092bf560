#include "platform/Profile.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

// The system's own private-profile functions: the file is in the ANSI code page (Shift-JIS on a Japanese
// system), so a file written there loads there, byte for byte.
namespace platform::profile {

std::size_t ReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                       std::size_t capacity, const char* path) {
    if (capacity == 0) {
        return 0;
    }
    const auto size = static_cast<DWORD>(std::min<std::size_t>(capacity, UINT_MAX));
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, path);
}

bool WriteString(const char* section, const char* key, const char* value, const char* path) {
    // The system writes a line break inside a value as it stands, which would start new lines, even new
    // sections, in the file: a value ends at its first line break.
    const std::string oneLine(value, std::strcspn(value, "\r\n"));
    return WritePrivateProfileStringA(section, key, oneLine.c_str(), path) != FALSE;
}

}  // namespace platform::profile
