#include "platform/Files.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace platform::files {

const char kPathSeparator = '\\';

namespace {

// Readers share everything, deletion included: a capture may rename its new picture over a file that is
// being read, and each reader keeps the version it opened.
constexpr DWORD kReaderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// How often a temporary name is tried before giving up (another process may hold the same name).
constexpr int kTemporaryNameAttempts = 100;

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

// A new, empty file "<target>.<process>-<counter>" beside target, open for writing.
HANDLE CreateTemporaryBeside(const char* target, std::string& temporaryPath) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryPath = std::string(target) + "." + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(counter.fetch_add(1));
        const HANDLE created = CreateFileA(temporaryPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                           nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

class WindowsInputFile final : public InputFile {
public:
    WindowsInputFile(HANDLE opened, std::uint32_t size) : file(opened), size(size) {}
    std::uint32_t Size() const override { return size; }
    std::size_t Read(void* buffer, std::size_t length) override {
        DWORD got = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(length, 1u << 30));
        if (!ReadFile(file.Get(), buffer, chunk, &got, nullptr)) {
            return 0;
        }
        return got;
    }

private:
    Handle file;
    std::uint32_t size;
};

class WindowsReplacementFile final : public ReplacementFile {
public:
    WindowsReplacementFile(std::FILE* stream, std::string temporaryPath, std::string targetPath)
        : stream(stream), temporaryPath(std::move(temporaryPath)), targetPath(std::move(targetPath)) {}

    ~WindowsReplacementFile() override {
        if (stream != nullptr) {
            std::fclose(stream);
        }
        if (!committed) {
            DeleteFileA(temporaryPath.c_str());
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
        // One rename puts the new version in place; readers opened with delete sharing do not stop it.
        if (!MoveFileExA(temporaryPath.c_str(), targetPath.c_str(), MOVEFILE_REPLACE_EXISTING)) {
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
    // The working files are opened through the ANSI API, so the path is handed on in the ANSI code page.
    const int size = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string path(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), path.data(), size, nullptr,
                        nullptr);
    if (path.size() >= limit) {
        path.resize(limit - 1);
    }
    return path;
}

std::unique_ptr<InputFile> InputFile::Open(const char* path) {
    Handle file(CreateFileA(path, GENERIC_READ, kReaderSharing, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.Valid() || GetFileType(file.Get()) != FILE_TYPE_DISK) {
        return nullptr;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file.Get(), &information) ||
        (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return nullptr;
    }
    return std::make_unique<WindowsInputFile>(file.Release(), information.nFileSizeLow);
}

bool RemoveFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool CopyFileUnlessExists(const char* from, const char* to) {
    std::string temporaryPath;
    {
        Handle placeholder(CreateTemporaryBeside(to, temporaryPath));
        if (!placeholder.Valid()) {
            return false;
        }
    }
    // The copy goes to the temporary name first and then gets its name without replacing anything, so it
    // appears whole or not at all, and never overwrites.
    const bool placed = CopyFileA(from, temporaryPath.c_str(), FALSE) &&
                        MoveFileExA(temporaryPath.c_str(), to, 0);
    if (!placed) {
        DeleteFileA(temporaryPath.c_str());
    }
    return placed;
}

bool AppendToFile(const char* path, const std::string_view* pieces, std::size_t count) {
    // Append-only access: every write lands at the end of the file, whoever else appends meanwhile.
    Handle file(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
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

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const char* targetPath) {
    std::string temporaryPath;
    Handle file(CreateTemporaryBeside(targetPath, temporaryPath));
    if (!file.Valid()) {
        return nullptr;
    }
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_WRONLY | _O_BINARY);
    if (descriptor < 0) {
        file.Reset();
        DeleteFileA(temporaryPath.c_str());
        return nullptr;
    }
    file.Release();  // the descriptor owns the handle now
    std::FILE* stream = _fdopen(descriptor, "wb");
    if (stream == nullptr) {
        _close(descriptor);
        DeleteFileA(temporaryPath.c_str());
        return nullptr;
    }
    return std::make_unique<WindowsReplacementFile>(stream, std::move(temporaryPath), targetPath);
}

}  // namespace platform::files
