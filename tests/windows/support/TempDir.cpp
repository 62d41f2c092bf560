#include "tests/support/TempDir.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

// On Windows the folder goes under the user's temporary folder; its path uses forward slashes, which
// the file API takes as separators just as backslashes.
TempDir::TempDir() {
    std::error_code error;
    const std::filesystem::path base = std::filesystem::temp_directory_path(error);
    if (error) {
        throw std::runtime_error("no temporary folder");
    }
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::filesystem::path candidate =
            base / ("qvtest." + std::to_string(GetCurrentProcessId()) + "." + std::to_string(counter++));
        if (std::filesystem::create_directory(candidate, error)) {
            path = candidate.generic_string();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

std::string TempDir::ReadFile(const std::string& filePath) {
    std::ifstream in(filePath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void TempDir::WriteFile(const std::string& filePath, const std::string& contents) {
    std::ofstream out(filePath, std::ios::binary | std::ios::trunc);
    out << contents;
}

bool TempDir::Exists(const std::string& filePath) {
    return std::filesystem::exists(filePath);
}
