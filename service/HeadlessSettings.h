#pragma once

#include <optional>
#include <string>
#include <vector>

#include "service/Settings.h"

// The headless host's settings: the same file, keys and encodings as the control panel's, read more
// strictly. The panel shows whatever a file holds and lets the user correct it; the host has nobody to
// look, so it refuses values it cannot honour and says how it read doubtful ones. It never writes the file.
namespace headless {

struct LoadedSettings {
    std::optional<Settings> settings;  // empty: the host must not start
    std::string error;                 // why not, one line without its ending, when settings is empty
    std::vector<std::string> notes;    // how doubtful values were read and risks worth knowing; one line each
};

// Reads the settings file at iniPath (defaults for what is missing). Refused: a number that is not a whole
// decimal number or lies outside the key's accepted range, a user name or password longer than the
// panel's fields (it could never match).
LoadedSettings LoadSettings(const char* iniPath);

}  // namespace headless
