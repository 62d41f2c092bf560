#pragma once

#include <cstddef>
#include <cstdint>

// The keys of the settings file (current.ini and templates), their defaults and value encodings. The
// control panel moves values between the file and its controls; the headless host moves them straight
// into the service.
namespace settings {

inline constexpr std::size_t kValueBytes = 200;  // a value is read into 200 bytes: at most 199 arrive
inline constexpr const char* kCurrentFileName = "current.ini";
inline constexpr const char* kDefaultTemplateName = "default.ini";

enum class ValueKind { Number, Text, Flag };

struct SettingKey {
    const char* section;
    const char* key;
    const char* defaultValue;
    ValueKind kind;
};

inline constexpr SettingKey kQuality{"IMAGE", "Quality", "75", ValueKind::Number};
inline constexpr SettingKey kPort{"WWW", "Port", "80", ValueKind::Number};
inline constexpr SettingKey kRealm{"WWW", "Realm", "ORV QV Server", ValueKind::Text};
inline constexpr SettingKey kUser{"WWW", "User", "", ValueKind::Text};
inline constexpr SettingKey kPass{"WWW", "Pass", "", ValueKind::Text};
inline constexpr SettingKey kAuthenticate{"WWW", "Authenticate", "", ValueKind::Flag};
inline constexpr SettingKey kRun{"WWW", "Run", "", ValueKind::Flag};
inline constexpr SettingKey kEnableClick{"QV", "EnableClick", "yes", ValueKind::Flag};
inline constexpr SettingKey kPriority{"QV", "Priority", "1", ValueKind::Number};
inline constexpr SettingKey kMinRemake{"QV", "MinRemake", "3", ValueKind::Number};
inline constexpr SettingKey kScaleDown{"QV", "ScaleDwonImage", "no", ValueKind::Flag};
inline constexpr SettingKey kDrawTime{"QV", "DrawTime", "yes", ValueKind::Flag};
inline constexpr SettingKey kResolveHostname{"QV", "ResolveHostname", "yes", ValueKind::Flag};
inline constexpr SettingKey kDesktop{"TARGET", "Desktop", "yes", ValueKind::Flag};
inline constexpr SettingKey kWinClass{"TARGET", "WinClass", "", ValueKind::Text};

// The order in which every save writes the keys; on a file written from scratch it is also the order of
// the sections and keys in the file.
inline constexpr const SettingKey* kSaveOrder[] = {
    &kQuality,   &kPort,     &kRealm,     &kUser,     &kPass,    &kEnableClick, &kPriority, &kMinRemake,
    &kScaleDown, &kDrawTime, &kResolveHostname, &kAuthenticate, &kDesktop, &kWinClass, &kRun};

inline constexpr int kMaxPriority = 4;

// A number as the file holds it: leading blanks skipped, one optional sign, then decimal digits up to the
// first other character; no digits gives 0. Values beyond 32 bits saturate.
std::int32_t ParseNumber(const char* text);
// A flag is set exactly when its value begins with a lower-case "y".
inline bool ParseFlag(const char* text) { return text[0] == 'y'; }
inline const char* FormatFlag(bool set) { return set ? "yes" : "no"; }

}  // namespace settings
