// A rack file's text read into records, without touching any rack: the reader checks the
// whole text first, so a damaged file is refused before anything of the rack it would replace
// is cleared.
//
// Each module record gives the module's id in the file, its type, position, channel, on state,
// polyphony, caption and patch text; the connection lines give a source id and its targets.
// A record of a type no module has (not 1, 2 or 3) is well-formed but skipped. Anything else
// out of place (a missing "[", a number that is not one, a record that does not end with "]"
// before the next begins or the file ends, a connection line with words in it) is an error,
// told with its line and what was expected there.
#pragma once

#include <string>
#include <vector>

struct tRackRecord {
    int id = 0;
    int type = 0;
    int x = 0;
    int y = 0;
    int channel = 0;
    int on = 0;
    int polyphony = 0;
    std::string caption;
    std::string patch;
    int line = 0; // where its "[" stands
};

struct tRackConnection {
    int source = 0;
    std::vector<int> targets;
};

struct tRackRecords {
    std::vector<tRackRecord> modules; // records of known types, in file order
    std::vector<tRackConnection> connections;
    int skipped = 0; // records of unknown types
};

enum class tRackTextError {
    kNone,
    kNotRackFile,  // the first word is not "kelvora-state..."
    kSyntaxError,  // something out of place
    kEndsInRecord, // the text ends inside a module record
};

struct tRackTextResult {
    tRackTextError error = tRackTextError::kNone;
    int line = 0;        // where it went wrong
    std::string message; // "line 12: expected ..." (no file name)
};

// Reads the whole text into records. Patch texts longer than maxPatch characters are cut
// there (the rest of the record up to its "]" is skipped); captions are cut to maxCaption.
tRackTextResult ReadRackRecords(const std::string& text, tRackRecords& records,
                                std::size_t maxPatch, std::size_t maxCaption);
