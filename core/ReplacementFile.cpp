#include "core/ReplacementFile.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string SystemError(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

// The file a save replaces: the target of a symbolic link, else the path itself.
std::string SaveTarget(const std::string& path) {
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) return resolved;
    return path;
}

} // namespace

tReplacementFile::~tReplacementFile() {
    Discard();
}

bool tReplacementFile::Open(const std::string& path, std::string& reason) {
    Discard();
    static std::atomic<unsigned> serial{0};
    mTarget = SaveTarget(path);
    struct stat existing {};
    if (::stat(mTarget.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        reason = SystemError(EISDIR);
        return false;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        mTemporary = mTarget + ".tmp" + std::to_string(::getpid()) + "-" +
                     std::to_string(serial.fetch_add(1));
        mFd = ::open(mTemporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0664);
        if (mFd >= 0) break;
        if (errno != EEXIST) break;
    }
    if (mFd < 0) {
        reason = SystemError(errno);
        mTemporary.clear();
        return false;
    }
    struct stat old {};
    if (::stat(mTarget.c_str(), &old) == 0 && S_ISREG(old.st_mode) &&
        ::fchmod(mFd, old.st_mode & 07777) != 0) {
        reason = SystemError(errno);
        Discard();
        return false;
    }
    return true;
}

bool tReplacementFile::Write(const std::string& text, std::string& reason) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(mFd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            reason = SystemError(put == 0 ? ENOSPC : errno);
            return false;
        }
        done += static_cast<std::size_t>(put);
    }
    return true;
}

bool tReplacementFile::Commit(std::string& reason) {
    if (mFd < 0) {
        reason = SystemError(EBADF);
        return false;
    }
    int error = 0;
    if (::fsync(mFd) != 0) error = errno;
    if (::close(mFd) != 0 && error == 0) error = errno;
    mFd = -1;
    if (error == 0 && ::rename(mTemporary.c_str(), mTarget.c_str()) != 0) error = errno;
    if (error != 0) {
        reason = SystemError(error);
        Discard();
        return false;
    }
    mTemporary.clear();
    return true;
}

void tReplacementFile::Discard() {
    if (mFd >= 0) ::close(mFd);
    mFd = -1;
    if (!mTemporary.empty()) ::unlink(mTemporary.c_str());
    mTemporary.clear();
}
