#include "service/HeadlessSettings.h"

#include <algorithm>
#include <cstdint>

#include "platform/Files.h"
#include "platform/Profile.h"
#include "service/CaptureService.h"
#include "service/SettingsKeys.h"

namespace headless {

namespace {

// The panel's user name, password and realm fields are read into 100 bytes on Start.
constexpr std::size_t kDialogFieldBytes = 100;
constexpr int kMaxQuality = 100;

std::size_t ReadSetting(const settings::SettingKey& key, char* buffer, std::size_t capacity, const char* path) {
    return platform::profile::ReadString(key.section, key.key, key.defaultValue, buffer, capacity, path);
}

struct Reader {
    const char* path;
    char value[settings::kValueBytes];

    const char* Text(const settings::SettingKey& key) {
        ReadSetting(key, value, sizeof value, path);
        return value;
    }
    // A number as a panel field shows it: the file's number taken as unsigned 32-bit.
    std::uint32_t Number(const settings::SettingKey& key) {
        return static_cast<std::uint32_t>(settings::ParseNumber(Text(key)));
    }
    int Flag(const settings::SettingKey& key) { return settings::ParseFlag(Text(key)) ? 1 : 0; }
};

}  // namespace

int LoadSettingsIntoService(CaptureService& service, const char* iniPath) {
    Reader reader{iniPath, {}};

    // The slider takes only positions 0..4; loading hands its position to the service.
    service.priority = std::clamp(settings::ParseNumber(reader.Text(settings::kPriority)), 0, settings::kMaxPriority);

    const int port = static_cast<int>(reader.Number(settings::kPort));
    // Capped as a signed value, as the panel's Start does: no lower bound.
    service.quality = std::min(static_cast<int>(reader.Number(settings::kQuality)), kMaxQuality);

    char user[kDialogFieldBytes];
    char password[kDialogFieldBytes];
    char realmText[kDialogFieldBytes];
    ReadSetting(settings::kUser, user, sizeof user, iniPath);
    ReadSetting(settings::kPass, password, sizeof password, iniPath);
    ReadSetting(settings::kRealm, realmText, sizeof realmText, iniPath);

    service.targetDesktop = reader.Flag(settings::kDesktop);
    service.scaleDown = reader.Flag(settings::kScaleDown);
    ReadSetting(settings::kWinClass, service.windowClass, sizeof service.windowClass, iniPath);
    service.drawTime = reader.Flag(settings::kDrawTime);
    service.resolveHostname = reader.Flag(settings::kResolveHostname);
    service.authenticate = reader.Flag(settings::kAuthenticate);
    service.enableClick = reader.Flag(settings::kEnableClick);
    service.SetCredentials(realmText, user, password);
    service.minRemake = reader.Number(settings::kMinRemake);
    return port;
}

void ShowStartupPicture(const CaptureService& service) {
    const std::string snapshotPath = service.WorkingFilePath(pages::kSnapshotFileName);
    const std::string startupPath = service.WorkingFilePath(pages::kStartupPictureFileName);
    platform::files::RemoveFile(snapshotPath.c_str());
    platform::files::CopyFileUnlessExists(startupPath.c_str(), snapshotPath.c_str());
}

}  // namespace headless
