#include "platform/linux/portal/RestoreToken.h"

#include <cstdio>
#include <memory>

#include "platform/Files.h"
#include "platform/Locations.h"

namespace platform::linux_portal {
namespace {

constexpr std::string_view kFileName = "portal-restore-token";
constexpr std::string_view kMarker = "qvserver screen cast restore token\n";
// The marker, the longest token and its line end, and one byte more to tell a longer file.
constexpr std::size_t kReadLimit = kMarker.size() + kMaxRestoreTokenLength + 2;
constexpr char kFirstVisible = '!';
constexpr char kLastVisible = '~';

}  // namespace

std::string RestoreTokenPath() {
    return LocateFiles().PathOf(kFileName);
}

bool IsRestoreToken(std::string_view text) {
    if (text.empty() || text.size() > kMaxRestoreTokenLength) {
        return false;
    }
    for (const char c : text) {
        if (c < kFirstVisible || c > kLastVisible) {
            return false;
        }
    }
    return true;
}

std::string LoadRestoreToken(const std::string& path) {
    const std::unique_ptr<files::InputFile> file = files::InputFile::Open(path.c_str());
    if (!file) {
        return {};
    }
    std::string content(kReadLimit, '\0');
    std::size_t length = 0;
    while (length < content.size()) {
        const std::size_t read = file->Read(content.data() + length, content.size() - length);
        if (read == 0) {
            break;
        }
        length += read;
    }
    content.resize(length);
    if (content.size() < kMarker.size() + 1 || content.compare(0, kMarker.size(), kMarker) != 0 ||
        content.back() != '\n') {
        return {};
    }
    std::string token = content.substr(kMarker.size(), content.size() - kMarker.size() - 1);
    return IsRestoreToken(token) ? token : std::string();
}

bool SaveRestoreToken(const std::string& path, std::string_view token) {
    if (!IsRestoreToken(token)) {
        return false;
    }
    const std::unique_ptr<files::ReplacementFile> file =
        files::ReplacementFile::Create(path.c_str(), files::Readers::OwnerOnly);
    if (!file) {
        return false;
    }
    std::fwrite(kMarker.data(), 1, kMarker.size(), file->Stream());
    std::fwrite(token.data(), 1, token.size(), file->Stream());
    std::fputc('\n', file->Stream());
    return file->Commit();
}

}  // namespace platform::linux_portal
