#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "imaging/CaptureJob.h"

// The user's settings as one value: what the settings file (current.ini and its templates) holds, what the
// control panel shows in its controls, and what the service runs with once they are applied at Start. A
// value made by default is the service's state before its first Start (quality 75, every flag off, every
// text empty); settings::Defaults() is what a file without any of the keys gives. The capture job reads
// the capture's own settings (quality, priority, target, window class, halving, time stamp) straight from
// its base.
struct Settings : imaging::CaptureSettings {
    // Numbers hold the file's value as a signed 32-bit integer; a panel field shows it unsigned. The
    // service uses a quality of at most 100.
    std::int32_t port = 0;
    std::string realm;
    std::string user;
    std::string password;
    bool authenticate = false;
    bool run = false;  // the panel's service-running flag: Start right after loading
    bool enableClick = false;
    std::int32_t minRemake = 0;  // seconds between two captures, taken unsigned
    bool resolveHostname = false;

    bool operator==(const Settings&) const = default;
};

namespace settings {

enum class ValueKind { Number, Text, Flag };

// One key of the settings file and the member of Settings that holds it. Exactly one of the three member
// pointers is set, by kind.
struct SettingKey {
    const char* section;
    const char* key;
    ValueKind kind;
    const char* defaultValue;  // as the file would hold it
    // Numbers: the values the headless host accepts (the panel takes any number, as it always did).
    std::int64_t minimum;
    std::int64_t maximum;
    // Texts: the longest value that reaches the service; the panel's fields hold no more. A credential
    // that is longer can never match, so the headless host refuses it rather than cut it.
    std::size_t maxBytes;
    bool credential;
    std::int32_t Settings::*number;
    std::string Settings::*text;
    bool Settings::*flag;
};

// Every key, in the order each save writes them; on a file written from scratch that is also the order
// of the sections and of the keys in them.
std::span<const SettingKey> Keys();
const SettingKey* FindKey(const char* section, const char* key);

// The value text as the file would hold it, and the value taken from such a text by the file's rules
// (numbers as atoi reads them, a flag set by a leading lower-case y, a text cut to what a file value can
// hold).
std::string FormatValue(const SettingKey& key, const Settings& values);
void ParseValue(const SettingKey& key, const char* text, Settings& values);

// Every key's default.
Settings Defaults();

// Reads every key from the file at path; a missing file, section or key gives that key's default.
// foundAny, when given, tells whether the file held any of the keys.
Settings Load(const char* path, bool* foundAny = nullptr);
// Writes every key, one profile write each, in the order of Keys(). ownerOnly: the file holds the
// password, so nobody but its owner may read it. False when a write failed.
bool Save(const Settings& values, const char* path, bool ownerOnly);

// The value of a key exactly as the file holds it, not cut; empty when the key is missing.
std::optional<std::string> ReadRaw(const SettingKey& key, const char* path);

}  // namespace settings
