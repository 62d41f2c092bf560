#pragma once

#include <string>
#include <string_view>

// Where the working files live. A program run from a folder it may write keeps everything beside the
// executable, as a copied or freshly built program always did. Installed in a folder it may not write, it
// keeps its settings (current.ini and the templates offered first) and its state (log.txt, screen.jpg) in
// the user's folders of the XDG base-directory rules. The shipped pages and pictures (data/) are read from
// beside the executable when they are there, otherwise from the installed share folder,
// <prefix>/share/qvserver/ for an executable in <prefix>/bin/.

// What the choice depends on; the platform gathers these for the running program.
struct LocationFacts {
    std::string executablePath;  // full path of the executable
    bool executableFolderWritable = false;
    bool dataBesideExecutable = false;  // the executable's folder holds data/
    std::string configHome;             // $XDG_CONFIG_HOME, empty when unset
    std::string stateHome;              // $XDG_STATE_HOME, empty when unset
    std::string home;                   // $HOME, empty when unset
    char separator = '/';
};

struct FileLocations {
    // Every folder ends with the separator.
    std::string settingsFolder;  // *.ini
    std::string stateFolder;     // everything else the program writes
    std::string dataRoot;        // the folder that holds data/
    char separator = '/';

    // Everything beside the executable.
    static FileLocations BesideExecutable(std::string_view executablePath, char separator = '/');

    // The full path of a working file named as the program names it: "data/..." for shipped files,
    // "*.ini" for settings, anything else is state.
    std::string PathOf(std::string_view fileName) const;
};

FileLocations ChooseFileLocations(const LocationFacts& facts);

// The folder of this program's own files under the base folder an XDG variable names: the variable's
// value when it is an absolute path, otherwise home followed by fallback ("" when neither is usable).
std::string XdgFolder(std::string_view variableValue, std::string_view home, std::string_view fallback,
                      char separator);
