// File-name helpers shared by the patch and rack readers and writers.
#pragma once

#include <string>

// The text after the last "/" with the last "." and what follows removed:
// "/home/me/harp.pst" -> "harp", "organ.old" -> "organ".
std::string BaseName(const std::string& path);

// The path with its extension replaced by (or extended with) ext, which starts with ".":
// ForceExtension("song", ".mst") -> "song.mst", ForceExtension("a/b.txt", ".mst") -> "a/b.mst".
std::string ForceExtension(const std::string& path, const std::string& ext);
