#include "platform/Locations.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/Files.h"

namespace platform {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool IsFolder(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// mkdir -p with mode 0700: the settings hold the password in plain text.
void MakeFolders(const std::string& folder) {
    for (std::size_t next = folder.find('/', 1); next != std::string::npos;
         next = folder.find('/', next + 1)) {
        const std::string part = folder.substr(0, next);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            return;
        }
    }
}

}  // namespace

FileLocations LocateFiles() {
    LocationFacts facts;
    facts.executablePath = files::ExecutablePath(std::string::npos);
    const FileLocations beside = FileLocations::BesideExecutable(facts.executablePath, files::kPathSeparator);
    facts.executableFolderWritable =
        !beside.stateFolder.empty() && access(beside.stateFolder.c_str(), W_OK) == 0;
    facts.dataBesideExecutable = IsFolder(beside.dataRoot + "data");
    facts.configHome = Environment("XDG_CONFIG_HOME");
    facts.stateHome = Environment("XDG_STATE_HOME");
    facts.home = Environment("HOME");
    facts.separator = files::kPathSeparator;

    FileLocations locations = ChooseFileLocations(facts);
    MakeFolders(locations.settingsFolder);
    MakeFolders(locations.stateFolder);
    return locations;
}

}  // namespace platform
