#include "platform/Profile.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Files.h"
#include "platform/windows/WideText.h"

// The system's own private-profile functions, through their wide versions: the system reads and writes
// the file in the ANSI code page (Shift-JIS on a Japanese system), so a file written there loads there,
// and the values reach the program as UTF-8 like every other text in it. A character the ANSI code page
// lacks is written as the system writes it ('?').
namespace platform::profile {

namespace {

using windows::Utf8ToWide;
using windows::WideToUtf8;

// Values longer than this many characters are read in steps of this size more.
constexpr DWORD kFirstReadCharacters = 256;
// Two defaults no value of a real file holds: a key is missing when each call returns its own default.
constexpr const char* kMissingMarkA = "\x01";
constexpr const char* kMissingMarkB = "\x02";

// A name or value for the wide call; a null pointer stays null (the system gives it a meaning of its own).
class WideArgument {
  public:
    explicit WideArgument(const char* text)
        : present(text != nullptr), wide(present ? Utf8ToWide(text) : L"") {}
    const wchar_t* Get() const { return present ? wide.c_str() : nullptr; }

  private:
    bool present;
    std::wstring wide;
};

// The key's whole value, or the default given when the file, section or key is missing.
std::string ReadWhole(const char* section, const char* key, const char* defaultValue, const char* path) {
    const WideArgument wideSection(section), wideKey(key), wideDefault(defaultValue), widePath(path);
    std::vector<wchar_t> buffer(kFirstReadCharacters);
    for (;;) {
        const DWORD copied =
            GetPrivateProfileStringW(wideSection.Get(), wideKey.Get(), wideDefault.Get(), buffer.data(),
                                     static_cast<DWORD>(buffer.size()), widePath.Get());
        // A value cut to fit fills the buffer but for the terminating NUL.
        if (copied + 1 < buffer.size() || buffer.size() >= INT_MAX / 4) {
            return WideToUtf8(std::wstring_view(buffer.data(), copied));
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool GiveReaders(const char* path, files::Readers readers) {
    const std::unique_ptr<files::ReplacementFile> replacement = files::ReplacementFile::Create(path, readers);
    if (!replacement) {
        return false;
    }
    if (GetFileAttributesW(Utf8ToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES) {
        const std::unique_ptr<files::InputFile> current = files::InputFile::Open(path);
        if (!current) {
            return false;
        }
        char block[4096];
        while (const std::size_t count = current->Read(block, sizeof block)) {
            std::fwrite(block, 1, count, replacement->Stream());
        }
    }
    return replacement->Commit();
}

}  // namespace

std::size_t ReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                       std::size_t capacity, const char* path) {
    if (capacity == 0) {
        return 0;
    }
    // Cut as the system cuts a value to its buffer, but on a character boundary of the UTF-8 text.
    const std::string whole = ReadWhole(section, key, defaultValue, path);
    const std::string_view value = windows::Utf8Prefix(whole, capacity - 1);
    std::memcpy(buffer, value.data(), value.size());
    buffer[value.size()] = '\0';
    return value.size();
}

std::optional<std::string> ReadValue(const char* section, const char* key, const char* path) {
    std::string value = ReadWhole(section, key, kMissingMarkA, path);
    if (value == kMissingMarkA && ReadWhole(section, key, kMissingMarkB, path) == kMissingMarkB) {
        return std::nullopt;
    }
    return value;
}

bool WriteString(const char* section, const char* key, const char* value, const char* path,
                 files::Readers readers) {
    // The system writes a line break inside a value as it stands, which would start new lines, even new
    // sections, in the file: a value ends at its first line break.
    const std::string oneLine(value, std::strcspn(value, "\r\n"));
    // The system writes the file in place, keeping its access list. So the file first gets the readers
    // asked for: it is written anew, as it stands, as a replacement made with them, which can only be
    // done when the file is created (a missing file starts empty).
    if (!GiveReaders(path, readers)) {
        return false;
    }
    const WideArgument wideSection(section), wideKey(key), widePath(path);
    return WritePrivateProfileStringW(wideSection.Get(), wideKey.Get(), Utf8ToWide(oneLine).c_str(),
                                      widePath.Get()) != FALSE;
}

}  // namespace platform::profile
