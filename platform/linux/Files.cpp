#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace platform::files {
namespace {

// Mode of the files the program creates: readable by everybody, like any file the user makes.
constexpr mode_t kFileMode = 0644;
constexpr mode_t kOwnerOnlyFileMode = 0600;
constexpr std::size_t kCopyBlockBytes = 64 * 1024;
constexpr const char* kTemporarySuffix = ".XXXXXX";

class Descriptor {
  public:
    explicit Descriptor(int value = -1) : fd(value) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd; }
    int Release() { return std::exchange(fd, -1); }
    void Reset() {
        if (fd >= 0) {
            close(fd);
            fd = -1;
        }
    }

  private:
    int fd;
};

bool WriteAll(int fd, const char* data, std::size_t length) {
    while (length > 0) {
        const ssize_t written = write(fd, data, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

// A temporary file beside target, from the pattern "<target>.XXXXXX"; the descriptor, or -1.
int CreateTemporaryBeside(const char* target, std::string& temporaryPath, Readers readers) {
    temporaryPath = std::string(target) + kTemporarySuffix;
    const int fd = mkostemp(temporaryPath.data(), O_CLOEXEC);
    if (fd >= 0) {
        fchmod(fd, readers == Readers::OwnerOnly ? kOwnerOnlyFileMode : kFileMode);
    }
    return fd;
}

class PosixInputFile final : public InputFile {
  public:
    PosixInputFile(int fd, std::uint32_t size) : descriptor(fd), size(size) {}
    std::uint32_t Size() const override { return size; }
    std::intptr_t SystemHandle() const override { return descriptor.Get(); }
    std::size_t Read(void* buffer, std::size_t length) override {
        for (;;) {
            const ssize_t got = read(descriptor.Get(), buffer, length);
            if (got >= 0) {
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                return 0;
            }
        }
    }

  private:
    Descriptor descriptor;
    std::uint32_t size;
};

class PosixReplacementFile final : public ReplacementFile {
  public:
    PosixReplacementFile(std::FILE* stream, std::string temporaryPath, std::string targetPath)
        : stream(stream), temporaryPath(std::move(temporaryPath)), targetPath(std::move(targetPath)) {}

    ~PosixReplacementFile() override {
        if (stream != nullptr) {
            std::fclose(stream);
        }
        if (!committed) {
            unlink(temporaryPath.c_str());
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
        // rename replaces the target in one step: a reader holds either the old file or the new one.
        if (rename(temporaryPath.c_str(), targetPath.c_str()) != 0) {
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
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || limit == 0) {
        return {};
    }
    return std::string(path, std::min(static_cast<std::size_t>(length), limit - 1));
}

std::unique_ptr<InputFile> InputFile::Open(const char* path) {
    Descriptor descriptor(open(path, O_RDONLY | O_CLOEXEC));
    if (descriptor.Get() < 0) {
        return nullptr;
    }
    struct stat status {};
    if (fstat(descriptor.Get(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size > kMaxInputFileBytes) {
        return nullptr;
    }
    return std::make_unique<PosixInputFile>(descriptor.Release(), static_cast<std::uint32_t>(status.st_size));
}

bool RemoveFile(const char* path) {
    return unlink(path) == 0;
}

int RemoveLeftoverReplacements(const char* targetPath) {
    const std::string target(targetPath);
    const std::size_t slash = target.rfind(kPathSeparator);
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string prefix = target.substr(slash == std::string::npos ? 0 : slash + 1) + ".";
    const std::size_t randomLength = std::strlen(kTemporarySuffix) - 1;
    std::unique_ptr<DIR, int (*)(DIR*)> directory(opendir(folder.c_str()), closedir);
    if (!directory) {
        return 0;
    }
    int removed = 0;
    while (const dirent* entry = readdir(directory.get())) {
        const std::string_view name(entry->d_name);
        if (name.size() != prefix.size() + randomLength || !name.starts_with(prefix)) {
            continue;
        }
        // mkstemp's six letters and digits. A word of six lower-case letters ("backup") is left alone: a
        // person may have chosen it, while a random name is nearly always mixed.
        const std::string_view random = name.substr(prefix.size());
        const auto isAlphanumeric = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
        const auto isLower = [](char c) { return std::islower(static_cast<unsigned char>(c)) != 0; };
        if (!std::all_of(random.begin(), random.end(), isAlphanumeric) ||
            std::all_of(random.begin(), random.end(), isLower)) {
            continue;
        }
        const std::string path = (slash == std::string::npos ? std::string() : folder) + std::string(name);
        if (unlink(path.c_str()) == 0) {
            ++removed;
        }
    }
    return removed;
}

bool CopyFileUnlessExists(const char* from, const char* to) {
    Descriptor source(open(from, O_RDONLY | O_CLOEXEC));
    if (source.Get() < 0) {
        return false;
    }
    std::string temporaryPath;
    Descriptor target(CreateTemporaryBeside(to, temporaryPath, Readers::Everyone));
    if (target.Get() < 0) {
        return false;
    }
    std::vector<char> block(kCopyBlockBytes);
    bool copied = true;
    for (;;) {
        const ssize_t got = read(source.Get(), block.data(), block.size());
        if (got == 0) {
            break;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            copied = false;
            break;
        }
        if (!WriteAll(target.Get(), block.data(), static_cast<std::size_t>(got))) {
            copied = false;
            break;
        }
    }
    copied = close(target.Release()) == 0 && copied;
    // link() refuses an existing target, so the copy appears whole or not at all, and never overwrites.
    const bool placed = copied && link(temporaryPath.c_str(), to) == 0;
    unlink(temporaryPath.c_str());
    return placed;
}

namespace {

// The pieces in one gathered write, so that with O_APPEND they land together at the end of the file,
// whoever else appends; total receives their length. The bytes written, or -1.
ssize_t WriteGathered(int descriptor, const std::string_view* pieces, std::size_t count, std::size_t& total) {
    // A log line has a few pieces: no allocation for those.
    iovec few[AppendOnlyFile::kMaxAppendPieces];
    std::vector<iovec> many;
    iovec* vectors = few;
    if (count > std::size(few)) {
        many.resize(count);
        vectors = many.data();
    }
    total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        vectors[i] = iovec{const_cast<char*>(pieces[i].data()), pieces[i].size()};
        total += pieces[i].size();
    }
    ssize_t written;
    do {
        written = writev(descriptor, vectors, static_cast<int>(count));
    } while (written < 0 && errno == EINTR);
    return written;
}

}  // namespace

bool AppendToFile(const char* path, const std::string_view* pieces, std::size_t count) {
    Descriptor file(open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kFileMode));
    if (file.Get() < 0) {
        return false;
    }
    std::size_t total = 0;
    const ssize_t written = WriteGathered(file.Get(), pieces, count, total);
    if (written >= 0 && static_cast<std::size_t>(written) < total) {
        // A short write (a nearly full disk): finish piece by piece from where it stopped.
        std::size_t skip = static_cast<std::size_t>(written);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t length = pieces[i].size();
            if (skip >= length) {
                skip -= length;
                continue;
            }
            if (!WriteAll(file.Get(), pieces[i].data() + skip, length - skip)) {
                break;
            }
            skip = 0;
        }
    }
    return true;
}

namespace {

FileIdentity IdentityOf(const struct stat& status) {
    if (!S_ISREG(status.st_mode)) {
        return {FileIdentity::Kind::Other, 0, 0};
    }
    return {FileIdentity::Kind::Regular, static_cast<std::uint64_t>(status.st_dev),
            static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

FileIdentity IdentifyFile(const char* path) {
    struct stat status {};
    if (stat(path, &status) != 0) {
        return errno == ENOENT ? FileIdentity{} : FileIdentity{FileIdentity::Kind::Other, 0, 0};
    }
    return IdentityOf(status);
}

AppendOnlyFile::AppendOnlyFile(std::string path) : path(std::move(path)) {}

AppendOnlyFile::~AppendOnlyFile() {
    if (descriptor >= 0) {
        close(descriptor);
    }
}

bool AppendOnlyFile::Reopen() {
    if (descriptor >= 0) {
        close(descriptor);
        descriptor = -1;
    }
    // O_NONBLOCK: a FIFO without a reader fails at once instead of waiting for one.
    Descriptor file(
        open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, kFileMode));
    struct stat status {};
    if (file.Get() < 0 || fstat(file.Get(), &status) != 0) {
        return false;
    }
    held = IdentityOf(status);
    if (held.kind != FileIdentity::Kind::Regular) {
        return false;
    }
    descriptor = file.Release();
    return true;
}

bool AppendOnlyFile::Append(const std::string_view* pieces, std::size_t count, const FileIdentity& named) {
    if (count > kMaxAppendPieces) {
        return false;
    }
    if (named.kind == FileIdentity::Kind::Other) {
        if (descriptor >= 0) {
            close(descriptor);
            descriptor = -1;
        }
        return false;
    }
    if ((descriptor < 0 || named != held) && !Reopen()) {
        return false;
    }
    std::size_t total = 0;
    const ssize_t written = WriteGathered(descriptor, pieces, count, total);
    return written >= 0 && static_cast<std::size_t>(written) == total;
}

std::unique_ptr<ReplacementFile> ReplacementFile::Create(const char* targetPath, Readers readers) {
    std::string temporaryPath;
    const int fd = CreateTemporaryBeside(targetPath, temporaryPath, readers);
    if (fd < 0) {
        return nullptr;
    }
    std::FILE* stream = fdopen(fd, "wb");
    if (stream == nullptr) {
        close(fd);
        unlink(temporaryPath.c_str());
        return nullptr;
    }
    return std::make_unique<PosixReplacementFile>(stream, std::move(temporaryPath), targetPath);
}

}  // namespace platform::files
