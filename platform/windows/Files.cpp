#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/windows/FileSecurity.h"
#include "platform/windows/WideText.h"

namespace platform::files {

namespace {

using windows::Utf8ToWide;
using windows::WideToUtf8;

// Readers share everything, deletion included: a capture may rename its new picture over a file that is
// being read, and each reader keeps the version it opened.
constexpr DWORD kReaderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// How often a temporary name is tried before giving up (another process may hold the same name).
constexpr int kTemporaryNameAttempts = 100;
constexpr int kRenameAttempts = 20;
constexpr DWORD kRenamePauseMilliseconds = 5;
// A reader that finds the name missing looks again for this long: a replacement by another process
// leaves it missing between two renames (see RenameOver). A file that is really missing is reported this
// much later.
constexpr DWORD kMissingWaitMilliseconds = 200;

// Held exclusively while a replacement has moved the old file aside and not yet put the new one in its
// place, and shared by every reader while it opens a file: readers in this process (the server's, of the
// picture the capture replaces) never see the name missing, however long the two renames take on a
// loaded machine. Readers hold it only while opening.
SRWLOCK replacementLock = SRWLOCK_INIT;
// Largest working file a reader takes into memory.
constexpr std::uint64_t kMaxReadBytes = 256u * 1024u * 1024u;
static_assert(kMaxReadBytes <= kMaxInputFileBytes);

class Handle {
  public:
    explicit Handle(HANDLE value = INVALID_HANDLE_VALUE) : handle(value) {}
    ~Handle() { Reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE Get() const { return handle; }
    bool Valid() const { return handle != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(handle, INVALID_HANDLE_VALUE); }
    void Reset() {
        if (Valid()) {
            CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
    }

  private:
    HANDLE handle;
};

// Temporary names are those of the Linux build: the target's name, a dot and six letters or digits, at
// least one of them not a lower-case letter, so that RemoveLeftoverReplacements knows them on both.
constexpr std::size_t kRandomLength = 6;

bool IsRandomPart(std::string_view text) {
    const auto isAlphanumeric = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    const auto isLower = [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; };
    return text.size() == kRandomLength && std::all_of(text.begin(), text.end(), isAlphanumeric) &&
           !std::all_of(text.begin(), text.end(), isLower);
}

// "<path>." and a fresh random part.
std::string RandomNameBeside(const std::string& path) {
    static constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}() ^ GetCurrentProcessId() ^
                                        static_cast<unsigned>(GetCurrentThreadId() << 16)};
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    std::string random(kRandomLength, '\0');
    do {
        for (char& c : random) {
            c = kAlphabet[pick(generator)];
        }
    } while (!IsRandomPart(random));
    return path + "." + random;
}

// A new, empty file "<target>.XXXXXX" beside target, open for writing.
HANDLE CreateTemporaryBeside(const char* target, std::string& temporaryPath, Readers readers) {
    const windows::OwnerOnlySecurity ownerOnly;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
    if (readers == Readers::OwnerOnly) {
        if (ownerOnly.Get() == nullptr) {
            return INVALID_HANDLE_VALUE;  // better no file than one that others may read
        }
        attributes.lpSecurityDescriptor = ownerOnly.Get();
    }
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryPath = RandomNameBeside(target);
        const HANDLE created =
            CreateFileW(Utf8ToWide(temporaryPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                        &attributes, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) {
            return created;
        }
    }
    return INVALID_HANDLE_VALUE;
}

bool WriteAll(HANDLE file, const char* data, std::size_t length) {
    while (length > 0) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
        if (!WriteFile(file, data, chunk, &written, nullptr) || written == 0) {
            return false;
        }
        data += written;
        length -= written;
    }
    return true;
}

// The file's content as it was when opened. A file that is open cannot be replaced on Windows (before
// Windows 10's POSIX rename, and never under Wine), so readers take their version whole at once and hold
// no handle while they send it: a capture is never kept waiting by a slow client.
class WindowsInputFile final : public InputFile {
  public:
    explicit WindowsInputFile(std::string content) : content(std::move(content)) {}
    std::uint32_t Size() const override { return static_cast<std::uint32_t>(content.size()); }
    std::intptr_t SystemHandle() const override { return -1; }
    std::size_t Read(void* buffer, std::size_t length) override {
        const std::size_t count = std::min(length, content.size() - position);
        std::memcpy(buffer, content.data() + position, count);
        position += count;
        return count;
    }

  private:
    std::string content;
    std::size_t position = 0;
};

// Puts the file at from in place of to. Windows refuses to rename over a file that is open (before
// Windows 10's POSIX rename, and always under Wine), and with many clients the picture is nearly always
// open somewhere. Our readers share deletion, so the open file itself can be moved aside and the new one
// take its name. The name is missing between the two renames: readers in this process wait on
// replacementLock; readers in other processes look again for a while (InputFile::Open).
bool RenameOver(const std::string& from, const std::string& to) {
    const std::wstring wideFrom = Utf8ToWide(from);
    const std::wstring wideTo = Utf8ToWide(to);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(wideFrom.c_str(), wideTo.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            return true;
        }
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) ||
            attempt >= kRenameAttempts) {
            return false;
        }
        const std::wstring aside = Utf8ToWide(RandomNameBeside(to));
        AcquireSRWLockExclusive(&replacementLock);
        const bool movedAside = MoveFileExW(wideTo.c_str(), aside.c_str(), 0) != FALSE;
        bool placed = false;
        if (movedAside) {
            placed = MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0) != FALSE;
            if (!placed) {
                MoveFileExW(aside.c_str(), wideTo.c_str(), 0);  // the old version back
            }
        }
        ReleaseSRWLockExclusive(&replacementLock);
        if (movedAside) {
            // Readers still holding the old version keep it; it goes when the last one closes it.
            DeleteFileW(aside.c_str());
            if (placed) {
                return true;
            }
        }
        Sleep(kRenamePauseMilliseconds);
    }
}

class WindowsReplacementFile final : public ReplacementFile {
  public:
    WindowsReplacementFile(std::FILE* stream, std::string temporaryPath, std::string targetPath)
        : stream(stream), temporaryPath(std::move(temporaryPath)), targetPath(std::move(targetPath)) {}

    ~WindowsReplacementFile() override {
        if (stream != nullptr) {
            std::fclose(stream);
        }
        if (!committed) {
            DeleteFileW(Utf8ToWide(temporaryPath).c_str());
        }
    }

    std::FILE* Stream() override { return stream; }

    bool Commit() override {
        if (stream == nullptr || committed) {
            return false;
        }
        const bool written = std::fflush(stream) == 0 && std::ferror(stream) == 0;
        const bool closed = std::fclose(stream) == 0;
        stream = nullptr;
        if (!written || !closed) {
            return false;
        }
        if (!RenameOver(temporaryPath, targetPath)) {
            return false;
        }
        committed = true;
        return true;
    }

  private:
    std::FILE* stream;
    std::string temporaryPath;
    std::string targetPath;
    bool committed = false;
};

}  // namespace

std::string ExecutablePath(std::size_t limit) {
    if (limit == 0) {
        return {};
    }
    // The wide call has no 260-character limit; the buffer grows until the whole path fits.
    std::vector<wchar_t> wide(MAX_PATH);
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, wide.data(), static_cast<DWORD>(wide.size()));
        if (length == 0) {
            return {};
        }
        if (length < wide.size()) {
            wide.resize(length);
            break;
        }
        wide.resize(wide.size() * 2);
    }
    // Folders are separated by '/' throughout the program (kPathSeparator), which the file API takes as
    // well as '\\'.
    for (wchar_t& character : wide) {
        if (character == L'\\') {
            character = L'/';
        }
    }
    const std::string path = WideToUtf8(std::wstring_view(wide.data(), wide.size()));
    return std::string(windows::Utf8Prefix(path, limit - 1));
}

std::unique_ptr<InputFile> InputFile::Open(const char* path) {
    HANDLE opened = INVALID_HANDLE_VALUE;
    const DWORD started = GetTickCount();
    const std::wstring widePath = Utf8ToWide(path);
    for (;;) {
        AcquireSRWLockShared(&replacementLock);
        opened = CreateFileW(widePath.c_str(), GENERIC_READ, kReaderSharing, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        const DWORD error = GetLastError();
        ReleaseSRWLockShared(&replacementLock);
        if (opened != INVALID_HANDLE_VALUE || error != ERROR_FILE_NOT_FOUND ||
            GetTickCount() - started >= kMissingWaitMilliseconds) {
            break;
        }
        Sleep(1);
    }
    Handle file(opened);
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return nullptr;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.Get(), &size) || static_cast<std::uint64_t>(size.QuadPart) > kMaxReadBytes) {
        return nullptr;
    }
    std::string content(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t filled = 0;
    while (filled < content.size()) {
        DWORD got = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - filled, 1u << 30));
        if (!ReadFile(file.Get(), content.data() + filled, chunk, &got, nullptr) || got == 0) {
            break;  // shorter than its size said: the part that was there
        }
        filled += got;
    }
    content.resize(filled);
    return std::make_unique<WindowsInputFile>(std::move(content));
}

bool RemoveFile(const char* path) {
    return DeleteFileW(Utf8ToWide(path).c_str()) != FALSE;
}

int RemoveLeftoverReplacements(const char* targetPath) {
    const std::string target(targetPath);
    const std::size_t slash = target.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    // The pattern only narrows the listing; each name found is checked in full below.
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW(Utf8ToWide(folder + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return 0;
    }
    int removed = 0;
    do {
        const std::string name = WideToUtf8(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || name.size() <= prefix.size() ||
            !std::equal(prefix.begin(), prefix.end(), name.begin(),
                        [](char a, char b) {
                            return std::tolower(static_cast<unsigned char>(a)) ==
                                   std::tolower(static_cast<unsigned char>(b));
                        }) ||
            !IsRandomPart(std::string_view(name).substr(prefix.size()))) {
            continue;
        }
        if (DeleteFileW(Utf8ToWide(folder + name).c_str())) {
            ++removed;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return removed;
}

bool CopyFileUnlessExists(const char* from, const char* to) {
    std::string temporaryPath;
    {
        Handle placeholder(CreateTemporaryBeside(to, temporaryPath, Readers::Everyone));
        if (!placeholder.Valid()) {
            return false;
        }
    }
    // The copy goes to the temporary name first and then gets its name without replacing anything, so it
    // appears whole or not at all, and never overwrites.
    const std::wstring wideTemporary = Utf8ToWide(temporaryPath);
    const bool placed = CopyFileW(Utf8ToWide(from).c_str(), wideTemporary.c_str(), FALSE) &&
                        MoveFileExW(wideTemporary.c_str(), Utf8ToWide(to).c_str(), 0);
    if (!placed) {
        DeleteFileW(wideTemporary.c_str());
    }
    return placed;
}

bool AppendToFile(const char* path, const std::string_view* pieces, std::size_t count) {
    // Append-only access puts every write at the end of the file; the lock keeps the program's own
    // appends whole and in one piece each, which Wine's append mode alone does not.
    static std::mutex appendLock;
    std::lock_guard guard(appendLock);
    Handle file(CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        joined.append(pieces[i]);
    }
    WriteAll(file.Get(), joined.data(), joined.size());
    return true;
}

namespace {

// What an open handle is: a disk file (with the volume and index that name it on Windows), or other.
FileIdentity IdentityOf(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {FileIdentity::Kind::Other, 0, 0};
    }
    return {FileIdentity::Kind::Regular, information.dwVolumeSerialNumber,
            (static_cast<std::uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// Everything may go on beside a handle the program holds open: reading, writing, and moving or removing
// the file (a log is rotated by renaming it away).
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

}  // namespace

FileIdentity IdentifyFile(const char* path) {
    // Windows tells a file's identity only through a handle. One opened for no access at all reads
    // nothing, takes no share and cannot block; folders need the backup flag to be opened.
    Handle file(CreateFileW(Utf8ToWide(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        const bool missing = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
        return missing ? FileIdentity{} : FileIdentity{FileIdentity::Kind::Other, 0, 0};
    }
    return IdentityOf(file.Get());
}

AppendOnlyFile::AppendOnlyFile(std::string path) : path(std::move(path)) {}

AppendOnlyFile::~AppendOnlyFile() {
    if (descriptor >= 0) {
        _close(descriptor);
    }
}

bool AppendOnlyFile::Reopen() {
    if (descriptor >= 0) {
        _close(descriptor);
        descriptor = -1;
    }
    // Append data only: the system puts every write at the end of the file, whoever else appends.
    Handle file(CreateFileW(Utf8ToWide(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, kShareAll, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        return false;
    }
    held = IdentityOf(file.Get());
    if (held.kind != FileIdentity::Kind::Regular) {
        return false;
    }
    // Kept as a C run-time descriptor (the handle goes with it), which is what the owner holds.
    const int opened =
        _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_WRONLY | _O_APPEND | _O_BINARY);
    if (opened < 0) {
        return false;
    }
    file.Release();
    descriptor = opened;
    return true;
}

bool AppendOnlyFile::Append(const std::string_view* pieces, std::size_t count, const FileIdentity& named) {
    if (count > kMaxAppendPieces) {
        return false;
    }
    if (named.kind == FileIdentity::Kind::Other) {
        if (descriptor >= 0) {
            _close(descriptor);
            descriptor = -1;
        }
        return false;
    }
    if ((descriptor < 0 || named != held) && !Reopen()) {
        return false;
    }
    // One write, so that the pieces land together at the end of the file.
    std::string joined;
    for (std::size_t i = 0; i < count; ++i) {
        joined.append(pieces[i]);
    }
    const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    DWORD written = 0;
    return joined.size() <= MAXDWORD &&
           WriteFile(file, joined.data(), static_cast<DWORD>(joined.size()), &written, nullptr) != FALSE &&
           written == joined.size();
}

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const char* targetPath, Readers readers) {
    std::string temporaryPath;
    Handle file(CreateTemporaryBeside(targetPath, temporaryPath, readers));
    if (!file.Valid()) {
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        file.Reset();
        DeleteFileW(Utf8ToWide(temporaryPath).c_str());
        return nullptr;
    }
    file.Release();  // the descriptor owns the handle now
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);
        DeleteFileW(Utf8ToWide(temporaryPath).c_str());
        return nullptr;
    }
    return std::make_unique<WindowsReplacementFile>(stream, std::move(temporaryPath), targetPath);
}

}  // namespace platform::files
