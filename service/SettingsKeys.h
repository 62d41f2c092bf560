#pragma once

#include <cstddef>
#include <cstdint>

// The value encodings of the settings file (current.ini and templates) and its fixed names; the keys
// themselves are listed in service/Settings.h.
namespace settings {

inline constexpr std::size_t kValueBytes = 200;  // a value is read into 200 bytes: at most 199 arrive
inline constexpr const char* kCurrentFileName = "current.ini";
inline constexpr const char* kDefaultTemplateName = "default.ini";

inline constexpr int kMaxPriority = 4;
// The service takes at most this quality; a larger one in a panel field stays there as typed.
inline constexpr int kMaxQuality = 100;

// A number as the file holds it: leading blanks skipped, one optional sign, then decimal digits up to the
// first other character; no digits gives 0. Values beyond 32 bits saturate.
std::int32_t ParseNumber(const char* text);
// A flag is set exactly when its value begins with a lower-case "y".
inline bool ParseFlag(const char* text) {
    return text[0] == 'y';
}
inline const char* FormatFlag(bool set) {
    return set ? "yes" : "no";
}

}  // namespace settings
