// Whole-file text reading and writing for the patch, rack and rc files.
#pragma once

#include <string>

// Reads the whole file into text; false when it cannot be opened or read.
bool ReadTextFile(const std::string& path, std::string& text);

// Creates or truncates the file with permission bits 0664 (less the umask) and writes text;
// false when the file cannot be created or written completely.
bool WriteTextFile(const std::string& path, const std::string& text);
