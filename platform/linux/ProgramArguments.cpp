#include "platform/ProgramArguments.h"

namespace platform {

// Linux hands a program its arguments as the bytes they were typed in, UTF-8 in any current locale.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.emplace_back(argv[index]);
    }
    return arguments;
}

}  // namespace platform
