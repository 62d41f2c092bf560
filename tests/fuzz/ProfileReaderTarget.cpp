#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/Profile.h"
#include "tests/fuzz/FuzzTargets.h"
#include "tests/support/TempDir.h"

namespace {

// The settings buffers of the program hold 200 bytes.
constexpr std::size_t kValueBytes = 200;
constexpr std::size_t kSmallBytes = 5;
constexpr char kDefault[] = "default-value";
constexpr char kWrittenValue[] = "written value";

struct KeyName {
    const char* section;
    const char* key;
};

// Keys of the real settings file, a case variant, and names the file may not hold at all.
constexpr KeyName kReadKeys[] = {
    {"WWW", "Port"},      {"www", "PORT"}, {"QV", "MinRemake"}, {"TARGET", "WinClass"},
    {"IMAGE", "Quality"}, {"", "Port"},    {"QV", ""},          {"Missing", "Key"}};
constexpr KeyName kWrittenKey{"QV", "FuzzKey"};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

// Reads one key into a buffer of the given capacity with a guard byte behind it; the problem, if any.
std::string ReadChecked(const KeyName& name, const std::string& path, std::size_t capacity,
                        std::string& value) {
    std::string buffer(capacity + 1, '\x5a');
    const std::size_t length = platform::profile::ReadString(name.section, name.key, kDefault, buffer.data(),
                                                             capacity, path.c_str());
    if (length >= capacity || buffer[length] != '\0' || buffer[capacity] != '\x5a') {
        return "ReadString [" + std::string(name.section) + "] " + name.key + " overran a buffer of " +
               std::to_string(capacity) + " bytes";
    }
    value.assign(buffer.data(), length);
    return {};
}

// A folder in memory when there is one: every input rewrites and replaces the file, and a disk-backed
// file system may flush to the disk on each replacement, which would slow the fuzzer a hundredfold.
class ScratchFolder {
  public:
    ScratchFolder() {
        char pattern[] = "/dev/shm/qvfuzz.XXXXXX";
        if (mkdtemp(pattern) != nullptr) {
            path = pattern;
        } else {
            fallback = std::make_unique<TempDir>();
            path = fallback->Path();
        }
    }
    ~ScratchFolder() {
        if (!fallback) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string File(const char* name) const { return path + "/" + name; }

  private:
    std::unique_ptr<TempDir> fallback;
    std::string path;
};

}  // namespace

std::string FuzzProfileReader(const std::uint8_t* data, std::size_t size) {
    static ScratchFolder folder;
    static const std::string path = folder.File("fuzz.ini");
    const std::string contents(reinterpret_cast<const char*>(data), size);
    TempDir::WriteFile(path, contents);

    std::string before[std::size(kReadKeys)];
    for (std::size_t index = 0; index < std::size(kReadKeys); ++index) {
        const KeyName& name = kReadKeys[index];
        std::string& value = before[index];
        std::string problem = ReadChecked(name, path, kValueBytes, value);
        if (!problem.empty()) {
            return problem;
        }
        const std::string where = "[" + std::string(name.section) + "] " + name.key + " = \"" + value + "\"";
        if (value != kDefault && contents.find(value) == std::string::npos) {
            return where + ": neither the default nor text of the file";
        }
        // CR, LF and CR LF all end a line.
        if (value.find_first_of("\r\n") != std::string::npos) {
            return where + ": a value spans lines";
        }
        // The whole value starts with what the buffer got.
        const std::optional<std::string> whole =
            platform::profile::ReadValue(name.section, name.key, path.c_str());
        if (whole.has_value() ? whole->substr(0, kValueBytes - 1) != value : value != kDefault) {
            return where + ": the whole value \"" + whole.value_or("(missing)") + "\" disagrees";
        }
        if (value.size() < kValueBytes - 1 && !value.empty() &&
            (IsBlank(value.front()) || IsBlank(value.back()))) {
            return where + ": value not trimmed";
        }
        std::string small;
        if (problem = ReadChecked(name, path, kSmallBytes, small); !problem.empty()) {
            return problem;
        }
        if (small != value.substr(0, kSmallBytes - 1)) {
            return where + ": a small buffer got \"" + small + "\", not the start of the value";
        }
    }

    // A key written reads back, and no other key changes.
    if (!platform::profile::WriteString(kWrittenKey.section, kWrittenKey.key, kWrittenValue, path.c_str())) {
        return "WriteString failed";
    }
    std::string written;
    if (std::string problem = ReadChecked(kWrittenKey, path, kValueBytes, written); !problem.empty()) {
        return problem;
    }
    if (written != kWrittenValue) {
        return "the written key reads back as \"" + written + "\"";
    }
    for (std::size_t index = 0; index < std::size(kReadKeys); ++index) {
        std::string after;
        if (std::string problem = ReadChecked(kReadKeys[index], path, kValueBytes, after); !problem.empty()) {
            return problem;
        }
        if (after != before[index]) {
            return "[" + std::string(kReadKeys[index].section) + "] " + kReadKeys[index].key +
                   " changed from \"" + before[index] + "\" to \"" + after +
                   "\" when another key was written";
        }
    }
    return {};
}
