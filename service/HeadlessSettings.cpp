#include "service/HeadlessSettings.h"

#include <cctype>
#include <cstring>

#include "service/SettingsKeys.h"

namespace headless {

namespace {

std::string KeyName(const settings::SettingKey& key) {
    return std::string("[") + key.section + "] " + key.key;
}

// Optional sign, then decimal digits only: what the panel would take as a number without guessing.
bool IsWholeNumber(const std::string& text) {
    std::size_t start = text.starts_with('+') || text.starts_with('-') ? 1 : 0;
    if (start == text.size()) {
        return false;
    }
    for (; start < text.size(); ++start) {
        if (std::isdigit(static_cast<unsigned char>(text[start])) == 0) {
            return false;
        }
    }
    return true;
}

// Why the raw value of key cannot be used, or empty.
std::string Refusal(const settings::SettingKey& key, const std::string& raw, const char* path) {
    const std::string where = std::string(path) + ": " + KeyName(key);
    switch (key.kind) {
        case settings::ValueKind::Number: {
            const std::int64_t value = settings::ParseNumber(raw.c_str());
            if (!IsWholeNumber(raw) || value < key.minimum || value > key.maximum) {
                return where + "=" + raw + " is not accepted: a whole number from " +
                       std::to_string(key.minimum) + " to " + std::to_string(key.maximum) + " is";
            }
            break;
        }
        case settings::ValueKind::Text:
            // The value itself stays unsaid: it may be a password.
            if (key.credential && raw.size() > key.maxBytes) {
                return where + " is " + std::to_string(raw.size()) +
                       " bytes long and could never match: at most " + std::to_string(key.maxBytes) +
                       " bytes are accepted";
            }
            break;
        case settings::ValueKind::Flag:
            break;
    }
    return {};
}

}  // namespace

LoadedSettings LoadSettings(const char* iniPath) {
    LoadedSettings loaded;
    Settings values = settings::Defaults();
    bool foundAny = false;
    for (const settings::SettingKey& key : settings::Keys()) {
        const std::optional<std::string> raw = settings::ReadRaw(key, iniPath);
        if (!raw) {
            continue;
        }
        foundAny = true;
        if (std::string refusal = Refusal(key, *raw, iniPath); !refusal.empty()) {
            loaded.error = std::move(refusal);
            return loaded;
        }
        settings::ParseValue(key, raw->c_str(), values);
        if (key.kind == settings::ValueKind::Flag && *raw != "yes" && *raw != "no") {
            loaded.notes.push_back(std::string(iniPath) + ": " + KeyName(key) + "=" + *raw + " read as \"" +
                                   settings::FormatFlag(values.*key.flag) +
                                   "\" (only a value that starts with a lower-case y means yes)");
        }
    }
    if (!foundAny) {
        loaded.notes.push_back("no settings found in " + std::string(iniPath) + ", using defaults");
    }
    if (!values.authenticate && values.enableClick) {
        loaded.notes.push_back("authentication is off and remote clicks are on: anyone who can reach port " +
                               std::to_string(values.port) + " can click on this screen");
    }
    loaded.settings = std::move(values);
    return loaded;
}

}  // namespace headless
