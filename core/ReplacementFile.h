// A file written beside its target and put in its place only once it is complete.
//
// Open creates a temporary file in the target's directory; the caller writes through Fd();
// Commit flushes it to the disk and renames it over the target. Until then, and whenever a
// step fails or the object goes away uncommitted, the target is untouched and the temporary
// file is removed. A target that is a symbolic link has the file it points to replaced; an
// existing target's permission bits are kept, a new file gets 0664 less the umask.
#pragma once

#include <string>

class tReplacementFile {
public:
    tReplacementFile() = default;
    ~tReplacementFile();
    tReplacementFile(const tReplacementFile&) = delete;
    tReplacementFile& operator=(const tReplacementFile&) = delete;

    // False with the system's error text in reason.
    bool Open(const std::string& path, std::string& reason);
    int Fd() const { return mFd; }
    // Writes all of text; false with the reason (a short write counts as a full disk).
    bool Write(const std::string& text, std::string& reason);
    // Flush, close, rename; false with the reason, the temporary file removed.
    bool Commit(std::string& reason);
    // Removes the temporary file; the target stays as it was.
    void Discard();

    const std::string& Target() const { return mTarget; }

private:
    int mFd = -1;
    std::string mTarget;
    std::string mTemporary;
};
