// The rack file (.mst): every module of the rack with its position, MIDI channel, on/off
// state, polyphony, caption and patch text, then the connections between the modules.
//
//   kelvora-state M            M: the largest id in the file
//   id                         for each module, in rack order
//   [ type x y channel on polyphony
//   caption                    blanks written as "_"
//   patch text                 exactly as the module's WritePatch writes it
//   ]
//   + source target ...        one line per module that feeds others
//
// Reading gives the modules fresh ids; the ids in the file only link the connection lines to
// the records. Messages go to standard error: "Can't write file", "Can't read file",
// "not a Kelvora File!\n", "syntax error in file\n". Whatever was read before a problem
// stays in the rack.
#pragma once

#include "core/Rack.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

// Makes a module of the given type at (x, y), or null for a type it does not know.
using tModuleMaker = std::function<std::unique_ptr<tSlot>(int type, int x, int y)>;

enum class tRackFileStatus {
    kOk,
    kCannotOpen,   // "Can't read file"
    kRefused,      // not a regular file, or larger than kMaxRackFileSize; the rack is unchanged
    kNotRackFile,  // "not a Kelvora File!\n"; the rack is unchanged
    kSyntaxError,  // "syntax error in file\n"; modules read before stay, no connections
    kEndsInRecord, // the file ends inside a module record; that module is dropped
};

struct tRackLoadResult {
    tRackFileStatus status = tRackFileStatus::kOk;
    int modules = 0;     // modules inserted
    int skipped = 0;     // records skipped (unknown module type, unreadable numbers)
    std::string message; // for the user, empty when all went well
};

// Largest rack file read: a few hundred modules of a few kilobytes each.
constexpr std::size_t kMaxRackFileSize = 4 * 1024 * 1024;

// Longest patch text a record carries; the rest of a longer one is skipped up to its "]".
constexpr std::size_t kMaxPatchText = 8000;
// Longest caption a record carries.
constexpr std::size_t kMaxCaption = 99;

// The caption as a record writes it: blanks and other white space become "_", an empty
// caption becomes "_", at most kMaxCaption characters.
std::string RackCaption(const std::string& caption);

// Writes the rack; false when the stream failed.
bool SaveRack(tRack& rack, std::ostream& out);
// Writes the rack to path with the extension ".mst" forced onto it, through a temporary file
// renamed over the target (a failed save leaves the old file as it was). On failure prints
// "Can't write file" and returns false with a message for the user in error.
bool SaveRackFile(tRack& rack, const std::string& path, std::string& error);
bool SaveRackFile(tRack& rack, const std::string& path);

// Reads a rack. Unless insert is set the rack is cleared first (once the header is known
// good; beforeClear, when given, is called just before, so that views of the old modules can
// go first); with insert the file's modules are added to those present.
tRackLoadResult LoadRack(tRack& rack, std::istream& in, bool insert, const tModuleMaker& make,
                         const std::function<void()>& beforeClear = {});
// The same from a file that is regular and at most kMaxRackFileSize bytes long; prints
// "Can't read file" when it cannot be read. The result's message says what went wrong.
tRackLoadResult LoadRackFile(tRack& rack, const std::string& path, bool insert,
                             const tModuleMaker& make,
                             const std::function<void()>& beforeClear = {});
