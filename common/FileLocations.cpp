#include "common/FileLocations.h"

#include "common/ModulePath.h"

namespace {

constexpr std::string_view kProgramFolder = "qvserver";
constexpr std::string_view kDataPrefix = "data";
constexpr std::string_view kSettingsSuffix = ".ini";
constexpr std::string_view kConfigFallback = ".config";
constexpr std::string_view kStateFallback = ".local/state";
constexpr std::string_view kShareFolder = "share";

std::string WithSeparator(std::string folder, char separator) {
    if (folder.empty() || folder.back() != separator) {
        folder += separator;
    }
    return folder;
}

// <prefix>/share/qvserver/ for an executable folder <prefix>/bin/.
std::string InstalledShareFolder(const std::string& executableFolder, char separator) {
    std::string_view folder(executableFolder);
    if (!folder.empty()) {
        folder.remove_suffix(1);  // the separator behind the executable's folder
    }
    const std::size_t cut = folder.rfind(separator);
    std::string prefix(cut == std::string_view::npos ? std::string_view{} : folder.substr(0, cut + 1));
    return prefix.append(kShareFolder) + separator + std::string(kProgramFolder) + separator;
}

}  // namespace

std::string XdgFolder(std::string_view variableValue, std::string_view home, std::string_view fallback,
                      char separator) {
    // The rules ignore a relative value: it would name a different folder from every working directory.
    std::string base;
    if (!variableValue.empty() && variableValue.front() == separator) {
        base = variableValue;
    } else if (!home.empty() && home.front() == separator) {
        base = WithSeparator(std::string(home), separator).append(fallback);
    } else {
        return {};
    }
    return WithSeparator(WithSeparator(std::move(base), separator).append(kProgramFolder), separator);
}

FileLocations FileLocations::BesideExecutable(std::string_view executablePath, char separator) {
    const std::string folder = ModulePath(executablePath, "", separator);
    return FileLocations{folder, folder, folder, separator};
}

std::string FileLocations::PathOf(std::string_view fileName) const {
    const bool shipped = fileName.starts_with(kDataPrefix) && fileName.size() > kDataPrefix.size() &&
                         (fileName[kDataPrefix.size()] == '/' || fileName[kDataPrefix.size()] == separator);
    if (shipped) {
        return dataRoot + std::string(fileName);
    }
    return (fileName.ends_with(kSettingsSuffix) ? settingsFolder : stateFolder) + std::string(fileName);
}

FileLocations ChooseFileLocations(const LocationFacts& facts) {
    FileLocations locations = FileLocations::BesideExecutable(facts.executablePath, facts.separator);
    const std::string executableFolder = locations.dataRoot;
    if (!facts.dataBesideExecutable) {
        locations.dataRoot = InstalledShareFolder(executableFolder, facts.separator);
    }
    if (facts.executableFolderWritable) {
        return locations;
    }
    const std::string settings = XdgFolder(facts.configHome, facts.home, kConfigFallback, facts.separator);
    const std::string state = XdgFolder(facts.stateHome, facts.home, kStateFallback, facts.separator);
    // Without any home to go to, the executable's folder is still the best guess.
    if (!settings.empty()) {
        locations.settingsFolder = settings;
    }
    if (!state.empty()) {
        locations.stateFolder = state;
    }
    return locations;
}
