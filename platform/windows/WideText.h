#pragma once

// Every narrow string inside the program is UTF-8, on Windows too; the system is spoken to through its
// wide (UTF-16) API, and these convert at that edge. Bytes that are not UTF-8 become U+FFFD.

#include <string>
#include <string_view>

namespace platform::windows {

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// text cut to at most limit bytes, never inside a character.
std::string_view Utf8Prefix(std::string_view text, std::size_t limit);

}  // namespace platform::windows
