#pragma once

// The working files next to the executable. Readers and the atomic replacement never disturb each other:
// any number of threads may read a file while another replaces it, and each reader keeps reading the
// version it opened, whole. All calls are thread-safe; failures are reported as results.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

namespace platform::files {

inline constexpr char kPathSeparator = '/';

// Full path of the running executable, cut to at most limit - 1 characters (empty when unknown).
std::string ExecutablePath(std::size_t limit);

class InputFile {
public:
    // Opens an existing file for reading; null when it cannot be opened.
    static std::unique_ptr<InputFile> Open(const char* path);
    virtual ~InputFile() = default;
    // Size when opened, low 32 bits.
    virtual std::uint32_t Size() const = 0;
    // Bytes read into buffer; 0 at the end of the file or on a read error.
    virtual std::size_t Read(void* buffer, std::size_t length) = 0;
};

bool RemoveFile(const char* path);
// Copies from to to; fails without touching anything when to already exists.
bool CopyFileUnlessExists(const char* from, const char* to);
// Opens the file for appending (creating it when missing), writes the pieces in order and closes it
// again. False when it could not be opened; then nothing is written.
bool AppendToFile(const char* path, const std::string_view* pieces, std::size_t count);

// A new version of a file, written to a temporary file in the same folder and put in place by Commit in
// one step. Until then, and for ever when Commit is not called, the old version stays as it was.
class ReplacementFile {
public:
    // Null when the temporary file cannot be created (for example, the folder does not exist).
    static std::unique_ptr<ReplacementFile> Create(const char* targetPath);
    virtual ~ReplacementFile() = default;  // removes the temporary file unless committed
    virtual std::FILE* Stream() = 0;       // binary, for writing
    // Flushes and closes the stream and renames it over the target. False when any write failed; the
    // target is then unchanged.
    virtual bool Commit() = 0;
};

}  // namespace platform::files
