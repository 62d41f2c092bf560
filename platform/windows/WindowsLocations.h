#pragma once

// How the Windows program chooses its working-file locations. A program run from a folder it may write
// (unpacked from its zip anywhere in the user's files) keeps everything beside the executable. Installed
// in a folder it may not write (Program Files), it keeps its settings in the roaming application data
// (%APPDATA%\qvserver, which follows the user to other machines) and its log and picture in the local one
// (%LOCALAPPDATA%\qvserver). The shipped pages and pictures (data/) are always read from beside the
// executable: the program is shipped as one folder.

#include <string>

#include "common/FileLocations.h"

namespace platform::windows {

struct WindowsLocationFacts {
    std::string executablePath;  // full path, folders separated by '/'
    bool executableFolderWritable = false;
    std::string roamingAppData;  // %APPDATA% with '/' separators, empty when unset
    std::string localAppData;    // %LOCALAPPDATA% with '/' separators, empty when unset
};

FileLocations ChooseWindowsFileLocations(const WindowsLocationFacts& facts);

}  // namespace platform::windows
