#pragma once

#include <string>
#include <string_view>

// Texts between our UTF-8 and the system's UTF-16 wide-character API, so that a label shows the same on a
// Windows of any language. Paths go through the ANSI code page instead: the platform layer hands them to
// the narrow file functions, which read them in that code page.

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

std::wstring WideFromAnsi(std::string_view text);
// False when a character of text has no equivalent in the ANSI code page (the path could not be opened
// by the narrow functions); *out is then unchanged.
bool AnsiFromWide(std::wstring_view text, std::string* out);
