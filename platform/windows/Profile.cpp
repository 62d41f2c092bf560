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

// The system's own private-profile functions: the file is in the ANSI code page (Shift-JIS on a Japanese
// system), so a file written there loads there, byte for byte.
namespace platform::profile {

namespace {

// Values longer than this are read in steps of this size more.
constexpr DWORD kFirstReadBytes = 256;
// Two defaults no value of a real file holds: a key is missing when each call returns its own default.
constexpr const char* kMissingMarkA = "\x01";
constexpr const char* kMissingMarkB = "\x02";

// The key's whole value, or the default given when the file, section or key is missing.
std::string ReadWhole(const char* section, const char* key, const char* defaultValue, const char* path) {
    std::vector<char> buffer(kFirstReadBytes);
    for (;;) {
        const DWORD copied = GetPrivateProfileStringA(section, key, defaultValue, buffer.data(),
                                                      static_cast<DWORD>(buffer.size()), path);
        // A value cut to fit fills the buffer but for the terminating NUL.
        if (copied + 1 < buffer.size() || buffer.size() >= INT_MAX / 2) {
            return std::string(buffer.data(), copied);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool GiveReaders(const char* path, files::Readers readers) {
    const std::unique_ptr<files::ReplacementFile> replacement = files::ReplacementFile::Create(path, readers);
    if (!replacement) {
        return false;
    }
    if (GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES) {
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
    const auto size = static_cast<DWORD>(std::min<std::size_t>(capacity, UINT_MAX));
    return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, path);
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
    return WritePrivateProfileStringA(section, key, oneLine.c_str(), path) != FALSE;
}

}  // namespace platform::profile
