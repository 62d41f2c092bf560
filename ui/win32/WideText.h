#pragma once

#include <string>
#include <string_view>

// Texts between our UTF-8 and the system's UTF-16 wide-character API, so that a label or a path shows the
// same on a Windows of any language.

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
