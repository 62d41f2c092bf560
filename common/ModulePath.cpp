#include "common/ModulePath.h"

#include <algorithm>
#include <cstring>

namespace {
// Room kept free behind the executable's folder, beyond the file name itself.
constexpr std::size_t kModulePathReserve = 10;
}  // namespace

char* ModulePath(char* buffer, std::size_t size, std::string_view executablePath, const char* fileName,
                 char separator) {
    if (size == 0) {
        return buffer;
    }
    const std::size_t nameLength = std::strlen(fileName);
    std::size_t limit = 0;
    if (size > nameLength + kModulePathReserve) {
        limit = size - nameLength - kModulePathReserve;
    }
    // The executable's path arrives as a bounded copy: at most limit - 1 characters.
    std::string_view folder = executablePath.substr(0, limit == 0 ? 0 : std::min(executablePath.size(), limit - 1));
    const std::size_t cut = folder.rfind(separator);
    folder = cut == std::string_view::npos ? std::string_view{} : folder.substr(0, cut + 1);

    const std::size_t folderLength = std::min(folder.size(), size - 1);
    if (folderLength > 0) {  // an empty view may carry no data pointer at all
        std::memcpy(buffer, folder.data(), folderLength);
    }
    const std::size_t nameRoom = size - 1 - folderLength;
    const std::size_t copied = std::min(nameLength, nameRoom);
    std::memcpy(buffer + folderLength, fileName, copied);
    buffer[folderLength + copied] = '\0';
    return buffer;
}
