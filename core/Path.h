// File-name helpers shared by the patch and rack readers and writers. A file's extension is
// the last "." of its last path component and what follows.
#pragma once

#include <string>

// The extension with its ".", or empty: "a/harp.pst" -> ".pst", "dir.x/song" -> "".
std::string Extension(const std::string& path);

// The path without its extension (directories kept): "a/harp.pst" -> "a/harp".
std::string WithoutExtension(const std::string& path);

// The text after the last "/" with the last "." and what follows removed:
// "/home/me/harp.pst" -> "harp", "organ.old" -> "organ".
std::string BaseName(const std::string& path);

// The path with its extension replaced by (or extended with) ext, which starts with ".":
// ForceExtension("song", ".mst") -> "song.mst", ForceExtension("a/b.txt", ".mst") -> "a/b.mst".
std::string ForceExtension(const std::string& path, const std::string& ext);
