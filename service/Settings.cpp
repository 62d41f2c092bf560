#include "service/Settings.h"

#include <cstdio>
#include <cstring>

#include "platform/Profile.h"
#include "service/SettingsKeys.h"

namespace settings {

namespace {

// The panel reads the realm, user name and password from fields of 100 bytes.
constexpr std::size_t kFieldBytes = 99;
// The longest value a file read delivers, and so the longest window class.
constexpr std::size_t kFileValueBytes = kValueBytes - 1;
constexpr std::size_t kNumberBytes = 16;
constexpr std::int64_t kMaxPort = 65535;
// The interval is counted in milliseconds in 32 bits: a longer one would wrap.
constexpr std::int64_t kMaxMinRemake = UINT32_MAX / 1000;

constexpr SettingKey Number(const char* section, const char* key, const char* defaultValue,
                            std::int64_t minimum, std::int64_t maximum, std::int32_t Settings::*member) {
    return {section, key,    ValueKind::Number, defaultValue, minimum, maximum, 0,
            false,   member, nullptr,           nullptr};
}
constexpr SettingKey Text(const char* section, const char* key, const char* defaultValue,
                          std::size_t maxBytes, bool credential, std::string Settings::*member) {
    return {section,  key,        ValueKind::Text, defaultValue, 0,      0,
            maxBytes, credential, nullptr,         member,       nullptr};
}
constexpr SettingKey Flag(const char* section, const char* key, const char* defaultValue,
                          bool Settings::*member) {
    return {section, key, ValueKind::Flag, defaultValue, 0, 0, 0, false, nullptr, nullptr, member};
}

constexpr SettingKey kKeys[] = {
    Number("IMAGE", "Quality", "75", 0, kMaxQuality, &Settings::quality),
    Number("WWW", "Port", "80", 1, kMaxPort, &Settings::port),
    Text("WWW", "Realm", "ORV QV Server", kFieldBytes, false, &Settings::realm),
    Text("WWW", "User", "", kFieldBytes, true, &Settings::user),
    Text("WWW", "Pass", "", kFieldBytes, true, &Settings::password),
    Flag("QV", "EnableClick", "yes", &Settings::enableClick),
    Number("QV", "Priority", "1", 0, kMaxPriority, &Settings::priority),
    Number("QV", "MinRemake", "3", 0, kMaxMinRemake, &Settings::minRemake),
    Flag("QV", "ScaleDwonImage", "no", &Settings::scaleDown),
    Flag("QV", "DrawTime", "yes", &Settings::drawTime),
    Flag("QV", "ResolveHostname", "yes", &Settings::resolveHostname),
    Flag("WWW", "Authenticate", "", &Settings::authenticate),
    Flag("TARGET", "Desktop", "yes", &Settings::targetDesktop),
    Text("TARGET", "WinClass", "", kFileValueBytes, false, &Settings::windowClass),
    Flag("WWW", "Run", "", &Settings::run),
};

bool EqualNoCase(const char* left, const char* right) {
    for (; *left != '\0' && *right != '\0'; ++left, ++right) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(*left) != lower(*right)) {
            return false;
        }
    }
    return *left == *right;
}

}  // namespace

std::span<const SettingKey> Keys() {
    return kKeys;
}

const SettingKey* FindKey(const char* section, const char* key) {
    for (const SettingKey& entry : kKeys) {
        if (EqualNoCase(entry.section, section) && EqualNoCase(entry.key, key)) {
            return &entry;
        }
    }
    return nullptr;
}

std::string FormatValue(const SettingKey& key, const Settings& values) {
    switch (key.kind) {
        case ValueKind::Number: {
            char text[kNumberBytes];
            std::snprintf(text, sizeof text, "%d", values.*key.number);
            return text;
        }
        case ValueKind::Flag:
            return FormatFlag(values.*key.flag);
        case ValueKind::Text:
            break;
    }
    return values.*key.text;
}

void ParseValue(const SettingKey& key, const char* text, Settings& values) {
    switch (key.kind) {
        case ValueKind::Number:
            values.*key.number = ParseNumber(text);
            break;
        case ValueKind::Flag:
            values.*key.flag = ParseFlag(text);
            break;
        case ValueKind::Text:
            (values.*key.text).assign(text, strnlen(text, kFileValueBytes));
            break;
    }
}

Settings Defaults() {
    Settings values;
    for (const SettingKey& key : kKeys) {
        ParseValue(key, key.defaultValue, values);
    }
    return values;
}

std::optional<std::string> ReadRaw(const SettingKey& key, const char* path) {
    return platform::profile::ReadValue(key.section, key.key, path);
}

Settings Load(const char* path, bool* foundAny) {
    Settings values;
    bool found = false;
    for (const SettingKey& key : kKeys) {
        const std::optional<std::string> raw = ReadRaw(key, path);
        found = found || raw.has_value();
        ParseValue(key, raw ? raw->c_str() : key.defaultValue, values);
    }
    if (foundAny != nullptr) {
        *foundAny = found;
    }
    return values;
}

bool Save(const Settings& values, const char* path, bool ownerOnly) {
    const auto readers = ownerOnly ? platform::files::Readers::OwnerOnly : platform::files::Readers::Everyone;
    bool written = true;
    for (const SettingKey& key : kKeys) {
        written = platform::profile::WriteString(key.section, key.key, FormatValue(key, values).c_str(), path,
                                                 readers) &&
                  written;
    }
    return written;
}

}  // namespace settings
