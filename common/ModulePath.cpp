#include "common/ModulePath.h"

std::string ModulePath(std::string_view executablePath, std::string_view fileName, char separator) {
    const std::size_t cut = executablePath.rfind(separator);
    std::string path(cut == std::string_view::npos ? std::string_view{} : executablePath.substr(0, cut + 1));
    path += fileName;
    return path;
}
