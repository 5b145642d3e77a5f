#include "core/TextFile.h"

#include "core/ReplacementFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SystemError(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

// Closes the descriptor on every way out.
class tFd {
public:
    explicit tFd(int fd) : mFd(fd) {}
    ~tFd() {
        if (mFd >= 0) ::close(mFd);
    }
    tFd(const tFd&) = delete;
    tFd& operator=(const tFd&) = delete;
    int Get() const { return mFd; }

private:
    int mFd;
};

// Reads at most limit bytes into text; false with errno set on a read error.
bool ReadAll(int fd, std::string& text, std::size_t limit) {
    text.clear();
    char chunk[8192];
    while (text.size() < limit) {
        const std::size_t want = std::min(sizeof chunk, limit - text.size());
        const ssize_t got = ::read(fd, chunk, want);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return true;
}

} // namespace

tFileRead ReadTextFile(const std::string& path, std::string& text, std::size_t maxBytes,
                       std::string& reason) {
    text.clear();
    // Look before opening: opening a FIFO for reading would wait for a writer.
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        reason = SystemError(error);
        return error == ENOENT ? tFileRead::kMissing : tFileRead::kUnreadable;
    }
    if (!S_ISREG(info.st_mode)) {
        reason = "not a regular file";
        return tFileRead::kRefused;
    }
    const auto tooLarge = [&] {
        reason = "larger than " + std::to_string(maxBytes) + " bytes";
        return tFileRead::kRefused;
    };
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) return tooLarge();
    tFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.Get() < 0) {
        reason = SystemError(errno);
        return tFileRead::kUnreadable;
    }
    // The name may have been replaced in between: judge what was opened.
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        reason = "not a regular file";
        return tFileRead::kRefused;
    }
    // One byte more than allowed tells a file that grew while it was read.
    if (!ReadAll(fd.Get(), text, maxBytes + 1)) {
        reason = SystemError(errno);
        text.clear();
        return tFileRead::kUnreadable;
    }
    if (text.size() > maxBytes) {
        text.clear();
        return tooLarge();
    }
    return tFileRead::kOk;
}

std::string ReadFailure(tFileRead status, const std::string& path, const char* kind,
                        const std::string& reason) {
    if (status != tFileRead::kRefused) return "cannot read " + path + ": " + reason;
    return path + " is not a Kelvora " + kind + " file (" + reason + ")";
}

bool ReadTextFile(const std::string& path, std::string& text) {
    tFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return false;
    return ReadAll(fd.Get(), text, static_cast<std::size_t>(-1));
}

bool WriteTextFile(const std::string& path, const std::string& text, std::string& reason) {
    tReplacementFile file;
    return file.Open(path, reason) && file.Write(text, reason) && file.Commit(reason);
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::string reason;
    return WriteTextFile(path, text, reason);
}
