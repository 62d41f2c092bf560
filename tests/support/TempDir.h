#pragma once

#include <string>

// A fresh folder under /tmp for one test, removed with everything in it at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path; }
    // Path of a file inside the folder.
    std::string File(const std::string& name) const { return path + "/" + name; }

    static std::string ReadFile(const std::string& filePath);
    static void WriteFile(const std::string& filePath, const std::string& contents);
    static bool Exists(const std::string& filePath);

  private:
    std::string path;
};
