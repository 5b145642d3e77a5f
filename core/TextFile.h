// Whole-file reading and writing for the patch, rack and rc files.
//
// Reading takes only regular files up to a size limit: a link to a device, a FIFO or a huge
// file is refused before anything is read. Writing never truncates the file in place: the
// text goes to a temporary file in the same directory, which is flushed to the disk and then
// renamed over the target, so a full disk, a quota or a killed process leaves either the old
// file or the new one, never a part of either.
#pragma once

#include <cstddef>
#include <string>

enum class tFileRead {
    kOk,
    kMissing,    // no such file
    kUnreadable, // no permission, read error
    kRefused,    // not a regular file, or larger than the limit
};

// Reads the whole file into text when it is a regular file of at most maxBytes. Otherwise
// the reason ("not a regular file", "larger than 65536 bytes", or the system's error text)
// goes to reason and text is left empty.
tFileRead ReadTextFile(const std::string& path, std::string& text, std::size_t maxBytes,
                       std::string& reason);

// The message a user sees for a file that could not be read as a kind ("patch", "rack",
// "rc"): "cannot read harp.pst: No such file or directory" or
// "harp.pst is not a Kelvora patch file (not a regular file)".
std::string ReadFailure(tFileRead status, const std::string& path, const char* kind,
                        const std::string& reason);

// Reads the whole file into text, whatever its size; false when it cannot be opened or read.
bool ReadTextFile(const std::string& path, std::string& text);

// Replaces the file (or creates it with permission bits 0664 less the umask; an existing
// file keeps its permission bits) by text, atomically as described above. A path that is a
// symbolic link replaces the file the link points to. False with the system's error text in
// reason; the temporary file is removed and the old file is untouched.
bool WriteTextFile(const std::string& path, const std::string& text, std::string& reason);
bool WriteTextFile(const std::string& path, const std::string& text);
