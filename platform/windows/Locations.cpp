#include "platform/Locations.h"

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/Files.h"
#include "platform/windows/WideText.h"
#include "platform/windows/WindowsLocations.h"

namespace platform {

namespace windows {

namespace {

constexpr std::string_view kProgramFolder = "qvserver";

// base/qvserver/ when base is set; empty otherwise.
std::string ProgramFolderIn(std::string base) {
    if (base.empty()) {
        return {};
    }
    if (base.back() != files::kPathSeparator) {
        base += files::kPathSeparator;
    }
    return base.append(kProgramFolder) + files::kPathSeparator;
}

}  // namespace

FileLocations ChooseWindowsFileLocations(const WindowsLocationFacts& facts) {
    FileLocations locations = FileLocations::BesideExecutable(facts.executablePath, files::kPathSeparator);
    if (facts.executableFolderWritable) {
        return locations;
    }
    const std::string settings = ProgramFolderIn(facts.roamingAppData);
    const std::string state = ProgramFolderIn(facts.localAppData);
    // The local folder is where state belongs; without it the roaming one still beats a folder the program
    // may not write. Without either, the executable's folder is the best guess left.
    if (!settings.empty()) {
        locations.settingsFolder = settings;
    }
    if (!state.empty()) {
        locations.stateFolder = state;
    } else if (!settings.empty()) {
        locations.stateFolder = settings;
    }
    return locations;
}

namespace {

using windows::Utf8ToWide;
using windows::WideToUtf8;

// An environment variable in UTF-8, with '/' between folders; empty when unset.
std::string FolderVariable(const wchar_t* name) {
    const DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
    if (needed == 0) {
        return {};
    }
    std::vector<wchar_t> wide(needed);
    const DWORD length = GetEnvironmentVariableW(name, wide.data(), needed);
    if (length == 0 || length >= needed) {
        return {};
    }
    wide.resize(length);
    for (wchar_t& character : wide) {
        if (character == L'\\') {
            character = L'/';
        }
    }
    return WideToUtf8(std::wstring_view(wide.data(), wide.size()));
}

// Whether a file can be made in the folder. The access list decides that on Windows (the read-only
// attribute of a folder means nothing), and only an attempt asks it; the probe goes when it is closed.
bool FolderWritable(const std::string& folder) {
    const std::string probe = folder + "qvserver-write-probe." + std::to_string(GetCurrentProcessId());
    const HANDLE created = CreateFileW(Utf8ToWide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(created);
    return true;
}

// Creates the folder and any missing folders above it.
void MakeFolders(const std::string& folder) {
    for (std::size_t next = folder.find(files::kPathSeparator); next != std::string::npos;
         next = folder.find(files::kPathSeparator, next + 1)) {
        const std::string part = folder.substr(0, next);
        if (!part.empty() && part.back() != ':') {  // "C:" is a drive, not a folder to make
            CreateDirectoryW(Utf8ToWide(part).c_str(), nullptr);
        }
    }
}

}  // namespace

}  // namespace windows

FileLocations LocateFiles() {
    windows::WindowsLocationFacts facts;
    facts.executablePath = files::ExecutablePath(std::string::npos);
    const FileLocations beside = FileLocations::BesideExecutable(facts.executablePath, files::kPathSeparator);
    facts.executableFolderWritable =
        !beside.stateFolder.empty() && windows::FolderWritable(beside.stateFolder);
    facts.roamingAppData = windows::FolderVariable(L"APPDATA");
    facts.localAppData = windows::FolderVariable(L"LOCALAPPDATA");
    FileLocations locations = windows::ChooseWindowsFileLocations(facts);
    windows::MakeFolders(locations.settingsFolder);
    windows::MakeFolders(locations.stateFolder);
    return locations;
}

}  // namespace platform
