#pragma once

// The portal's restore token, kept between runs so that a restarted program gets the same screen without
// asking the user again. The file holds one marker line and the token; a file that is missing, unreadable
// or damaged gives no token (the portal then asks again). The token is replaced in one step and readable
// by its owner only.

#include <string>
#include <string_view>

namespace platform::linux_portal {

// The file in the program's state folder (platform/Locations.h).
std::string RestoreTokenPath();

// The token the file holds; empty when there is none or the file is damaged.
std::string LoadRestoreToken(const std::string& path);
// Replaces the file with one holding token (). False when the token is not
// one the portal could have given (empty, too long, or with spaces or control characters) or the file could
// not be written; the old file then stays.
bool SaveRestoreToken(const std::string& path, std::string_view token);

// Whether text could be a portal's restore token: 1 to kMaxRestoreTokenLength visible ASCII characters.
bool IsRestoreToken(std::string_view text);
inline constexpr std::size_t kMaxRestoreTokenLength = 256;

}  // namespace platform::linux_portal
