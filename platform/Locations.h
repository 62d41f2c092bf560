#pragma once

// The working-file locations of the running program (common/FileLocations.h says how they are chosen).
// Called once by an entry point before any thread starts.

#include "common/FileLocations.h"

namespace platform {

// Gathers the facts for the running executable, chooses the locations and creates the settings and state
// folders when they are missing (a folder that cannot be created shows up later as files that cannot be
// written, as before).
FileLocations LocateFiles();

}  // namespace platform
