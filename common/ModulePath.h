#pragma once

#include <string>
#include <string_view>

// The path of fileName in the folder of the executable whose full path is executablePath: the executable's
// path up to and including its last separator, then fileName. A path without any separator leaves the
// bare file name. Nothing is cut, however deep the folder.
std::string ModulePath(std::string_view executablePath, std::string_view fileName, char separator);
