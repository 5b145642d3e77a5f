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
// the records. The whole file is read and checked before the rack is touched: a damaged file
// is refused with a message that names the line and what was expected there, and the rack
// stays as it was. The file functions print each message as one line on standard error,
// naming the file.
#pragma once

#include "core/Rack.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

// Makes a module of the given type at (x, y), or null for a type it does not know.
using tModuleMaker = std::function<std::unique_ptr<tSlot>(int type, int x, int y)>;

// Every status but kOk leaves the rack as it was.
enum class tRackFileStatus {
    kOk,
    kCannotOpen,   // "Can't read file ..."
    kRefused,      // not a regular file, or larger than kMaxRackFileSize
    kNotRackFile,  // the first word is not "kelvora-state"
    kSyntaxError,  // something out of place; the message names the line
    kEndsInRecord, // the file ends inside a module record
};

struct tRackLoadResult {
    tRackFileStatus status = tRackFileStatus::kOk;
    int modules = 0;     // modules inserted
    int skipped = 0;     // records of unknown module types, skipped
    std::string message; // for the user, empty when all went well
};

// Largest rack file read: a few hundred modules of a few kilobytes each.
constexpr std::size_t kMaxRackFileSize = 4 * 1024 * 1024;

// Longest patch text a record carries; the rest of a longer one is skipped up to its "]".
constexpr std::size_t kMaxPatchText = 8000;
// Longest caption a record carries.
constexpr std::size_t kMaxCaption = 99;

// The caption as a record writes it: blanks, other white space and brackets become "_", an
// empty caption becomes "_", at most kMaxCaption characters.
std::string RackCaption(const std::string& caption);

// Writes the rack; false when the stream failed.
bool SaveRack(tRack& rack, std::ostream& out);
// Writes the rack to path with the extension ".mst" forced onto it, through a temporary file
// renamed over the target (a failed save leaves the old file as it was). On failure prints
// "Can't write file PATH (reason)" and returns false with that message in error.
bool SaveRackFile(tRack& rack, const std::string& path, std::string& error);
bool SaveRackFile(tRack& rack, const std::string& path);

// Reads a rack. The whole text is checked and its modules made first; only then, unless insert
// is set, is the rack cleared (beforeClear, when given, is called just before, so that views
// of the old modules can go first); with insert the file's modules are added to those present.
// A damaged text changes nothing; the message ("syntax error in line 12: expected ...") says
// why. Nothing is printed.
tRackLoadResult LoadRack(tRack& rack, std::istream& in, bool insert, const tModuleMaker& make,
                         const std::function<void()>& beforeClear = {});
// The same from a file that is regular and at most kMaxRackFileSize bytes long. The result's
// message names the file and says what went wrong; it is printed as one line.
tRackLoadResult LoadRackFile(tRack& rack, const std::string& path, bool insert,
                             const tModuleMaker& make,
                             const std::function<void()>& beforeClear = {});
