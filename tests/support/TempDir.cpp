#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

TempDir::TempDir() {
    char pattern[] = "/tmp/qvtest.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path = pattern;
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
