#pragma once

// The program's command-line arguments as UTF-8, like every other text inside the program: on systems
// whose argv arrives in another encoding, read again from the system in full.

#include <string>
#include <vector>

namespace platform {

// The arguments after the program's own name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
