#include "platform/Profile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"

namespace platform::profile {

namespace {

// New lines are written with the platform's own ending; existing lines keep theirs.
constexpr std::string_view kNewLineEnding = "\n";

// Writers read, change and replace the whole file; one at a time, so that no change is lost.
std::mutex& ProfileLock() {
    static std::mutex lock;
    return lock;
}

struct Line {
    std::string text;    // without its ending
    std::string ending;  // "\r\n", "\n", "\r" or empty for a last line without one
};

// A file's lines, and whether it began with a UTF-8 byte-order mark (kept when the file is written back).
struct Lines {
    std::vector<Line> lines;
    bool byteOrderMark = false;
};

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// CR LF, LF and a bare CR each end a line: files written on other systems or by hand keep every key.
Lines ReadLines(const char* path) {
    Lines result;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path, "rb"), std::fclose);
    if (!file) {
        return result;
    }
    std::string contents;
    char block[4096];
    std::size_t count;
    while ((count = std::fread(block, 1, sizeof block, file.get())) > 0) {
        contents.append(block, count);
    }
    std::size_t start = 0;
    if (std::string_view(contents).starts_with(kByteOrderMark)) {
        result.byteOrderMark = true;
        start = kByteOrderMark.size();
    }
    while (start < contents.size()) {
        const std::size_t end = contents.find_first_of("\r\n", start);
        Line line;
        if (end == std::string::npos) {
            line.text = contents.substr(start);
            start = contents.size();
        } else {
            line.text = contents.substr(start, end - start);
            const bool crLf = contents[end] == '\r' && end + 1 < contents.size() && contents[end + 1] == '\n';
            line.ending = crLf ? "\r\n" : std::string(1, contents[end]);
            start = end + line.ending.size();
        }
        result.lines.push_back(std::move(line));
    }
    return result;
}

std::string_view Trim(std::string_view text) {
    const auto isBlank = [](char character) {
        return character == ' ' || character == '\t' || character == '\r';
    };
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualNoCase(std::string_view left, std::string_view right) {
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               const auto lower = [](char character) {
                   return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a')
                                                               : character;
               };
               return lower(a) == lower(b);
           });
}

// The name of a section line "[name]"; false when the line is none.
bool SectionName(std::string_view line, std::string_view& name) {
    line = Trim(line);
    if (line.size() < 2 || line.front() != '[') {
        return false;
    }
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) {
        return false;
    }
    name = Trim(line.substr(1, close - 1));
    return true;
}

// The key of a line "key=value" (not a comment), and where its value starts.
bool KeyName(std::string_view line, std::string_view& key, std::size_t& valueStart) {
    const std::string_view trimmed = Trim(line);
    if (trimmed.empty() || trimmed.front() == ';') {
        return false;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
        return false;
    }
    key = Trim(line.substr(0, equals));
    valueStart = equals + 1;
    return !key.empty();
}

struct Location {
    std::size_t sectionLine = 0;  // the section's header line
    std::size_t endLine = 0;      // the first line after the section's last key line (or header)
    std::size_t keyLine = 0;      // the key's line when keyFound
    bool sectionFound = false;
    bool keyFound = false;
};

// The first section of that name, and in it the first key of that name.
Location Find(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Location location;
    for (std::size_t index = 0; index < lines.size(); ++index) {
        std::string_view name;
        if (SectionName(lines[index].text, name)) {
            if (location.sectionFound) {
                break;
            }
            if (EqualNoCase(name, section)) {
                location.sectionFound = true;
                location.sectionLine = index;
                location.endLine = index + 1;
            }
            continue;
        }
        std::string_view lineKey;
        std::size_t valueStart;
        if (!location.sectionFound || !KeyName(lines[index].text, lineKey, valueStart)) {
            continue;
        }
        location.endLine = index + 1;
        if (!location.keyFound && EqualNoCase(lineKey, key)) {
            location.keyFound = true;
            location.keyLine = index;
        }
    }
    return location;
}

// Values are single lines: anything from a line break on would break the file's structure.
std::string_view SingleLine(const char* value) {
    const std::string_view text(value);
    return text.substr(0, text.find_first_of("\r\n"));
}

bool WriteLines(const Lines& contents, const char* path, files::Readers readers) {
    const std::unique_ptr<files::ReplacementFile> replacement = files::ReplacementFile::Create(path, readers);
    if (!replacement) {
        return false;
    }
    std::FILE* stream = replacement->Stream();
    if (contents.byteOrderMark) {
        std::fwrite(kByteOrderMark.data(), 1, kByteOrderMark.size(), stream);
    }
    const std::vector<Line>& lines = contents.lines;
    for (const Line& line : lines) {
        std::fwrite(line.text.data(), 1, line.text.size(), stream);
        std::fwrite(line.ending.data(), 1, line.ending.size(), stream);
    }
    return replacement->Commit();
}

}  // namespace

std::optional<std::string> ReadValue(const char* section, const char* key, const char* path) {
    std::lock_guard guard(ProfileLock());
    const std::vector<Line> lines = ReadLines(path).lines;
    const Location location = Find(lines, section, key);
    if (!location.keyFound) {
        return std::nullopt;
    }
    std::string_view lineKey;
    std::size_t valueStart = 0;
    KeyName(lines[location.keyLine].text, lineKey, valueStart);
    return std::string(Trim(std::string_view(lines[location.keyLine].text).substr(valueStart)));
}

std::size_t ReadString(const char* section, const char* key, const char* defaultValue, char* buffer,
                       std::size_t capacity, const char* path) {
    if (capacity == 0) {
        return 0;
    }
    const std::string value =
        ReadValue(section, key, path).value_or(defaultValue != nullptr ? defaultValue : "");
    const std::size_t copied = std::min(value.size(), capacity - 1);
    std::memcpy(buffer, value.data(), copied);
    buffer[copied] = '\0';
    return copied;
}

bool WriteString(const char* section, const char* key, const char* value, const char* path,
                 files::Readers readers) {
    std::lock_guard guard(ProfileLock());
    Lines contents = ReadLines(path);
    std::vector<Line>& lines = contents.lines;
    const Location location = Find(lines, section, key);
    const std::string_view newValue = SingleLine(value);
    if (location.keyFound) {
        Line& line = lines[location.keyLine];
        std::string_view lineKey;
        std::size_t valueStart = 0;
        KeyName(line.text, lineKey, valueStart);
        line.text = line.text.substr(0, valueStart) + std::string(newValue);
        return WriteLines(contents, path, readers);
    }
    // Whatever is appended behind the file's last line needs that line ended first.
    if (!lines.empty() && lines.back().ending.empty()) {
        lines.back().ending += kNewLineEnding;
    }
    Line keyLine{std::string(key) + "=" + std::string(newValue), std::string(kNewLineEnding)};
    if (location.sectionFound) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(location.endLine), std::move(keyLine));
    } else {
        // A blank line sets a new section apart from what comes before it.
        if (!lines.empty() && !Trim(lines.back().text).empty()) {
            lines.push_back(Line{"", std::string(kNewLineEnding)});
        }
        lines.push_back(Line{"[" + std::string(section) + "]", std::string(kNewLineEnding)});
        lines.push_back(std::move(keyLine));
    }
    return WriteLines(contents, path, readers);
}

}  // namespace platform::profile
