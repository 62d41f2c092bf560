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

// The largest file InputFile::Open takes (2 GiB - 1).
inline constexpr std::uint32_t kMaxInputFileBytes = 0x7fffffff;

class InputFile {
  public:
    // Opens an existing regular file for reading; null when it cannot be opened or holds more than
    // kMaxInputFileBytes (a backend may set a lower limit), so that every size reported fits the signed
    // 32-bit lengths an answer announces.
    static std::unique_ptr<InputFile> Open(const char* path);
    virtual ~InputFile() = default;
    // Size when opened.
    virtual std::uint32_t Size() const = 0;
    // Bytes read into buffer; 0 at the end of the file or on a read error.
    virtual std::size_t Read(void* buffer, std::size_t length) = 0;
    // The system's own handle of the open file, for net::SendFileRest; -1 when the backend holds the
    // file's bytes itself.
    virtual std::intptr_t SystemHandle() const = 0;
};

bool RemoveFile(const char* path);
// Removes what replacements of targetPath left behind when the process died before Commit (files named
// like the target plus a dot and six letters or digits, not all of them lower-case letters: those could
// be a word). Only for the start of a program that owns the target. Returns how many were removed.
int RemoveLeftoverReplacements(const char* targetPath);
// Copies from to to; fails without touching anything when to already exists.
bool CopyFileUnlessExists(const char* from, const char* to);
// Opens the file for appending (creating it when missing), writes the pieces in order and closes it
// again. False when it could not be opened; then nothing is written.
bool AppendToFile(const char* path, const std::string_view* pieces, std::size_t count);

// What a path names at one moment: nothing, a regular file (with its identity), or something else (a
// folder, a FIFO, a device). Thread-safe; one status call, no open.
struct FileIdentity {
    enum class Kind { Missing, Regular, Other };
    Kind kind = Kind::Missing;
    std::uint64_t device = 0;
    std::uint64_t node = 0;

    bool operator==(const FileIdentity&) const = default;
};
FileIdentity IdentifyFile(const char* path);

// A file that is only ever appended to, kept open between appends (a log). Never blocks on opening and
// writes only to a regular file. Not thread-safe: its owner serialises the calls.
class AppendOnlyFile {
  public:
    static constexpr std::size_t kMaxAppendPieces = 8;

    explicit AppendOnlyFile(std::string path);
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    const char* Path() const { return path.c_str(); }
    // Writes the pieces (at most kMaxAppendPieces) in order with one write at the end of the file, when named
    // (IdentifyFile of the path, taken just before) says the path names a regular file or nothing. When the
    // file held open is not the one named, it is closed and the path opened again, so that a file moved away
    // or removed is recreated; when the path names something other than a regular file, the file held is
    // closed and nothing is written. False when nothing was written.
    bool Append(const std::string_view* pieces, std::size_t count, const FileIdentity& named);

  private:
    bool Reopen();

    std::string path;
    int descriptor = -1;
    FileIdentity held;  // of the open descriptor
};
// Who may read a file the program writes; its owner may always write it.
enum class Readers { Everyone, OwnerOnly };

// A new version of a file, written to a temporary file in the same folder and put in place by Commit in
// one step. Until then, and for ever when Commit is not called, the old version stays as it was.
class ReplacementFile {
  public:
    // Null when the temporary file cannot be created (for example, the folder does not exist).
    static std::unique_ptr<ReplacementFile> Create(const char* targetPath,
                                                   Readers readers = Readers::Everyone);
    virtual ~ReplacementFile() = default;  // removes the temporary file unless committed
    virtual std::FILE* Stream() = 0;       // binary, for writing
    // Flushes and closes the stream and renames it over the target. False when any write failed; the
    // target is then unchanged.
    virtual bool Commit() = 0;
};

}  // namespace platform::files
