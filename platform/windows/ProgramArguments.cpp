#include "platform/ProgramArguments.h"

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "platform/windows/WideText.h"

namespace platform {

// argv holds the command line in the ANSI code page, where a path in another script is lost; the wide
// command line holds it whole.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    if (wide == nullptr) {
        for (int index = 1; index < argc; ++index) {
            arguments.emplace_back(argv[index]);
        }
        return arguments;
    }
    for (int index = 1; index < count; ++index) {
        arguments.push_back(windows::WideToUtf8(wide[index]));
    }
    LocalFree(wide);
    return arguments;
}

}  // namespace platform
