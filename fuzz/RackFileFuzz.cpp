// The rack file reader on arbitrary text, without making modules: a refused text says which
// line and what was expected; an accepted one gives records within their limits, each record's
// patch text goes through the reader of its module type, and the records written out as a
// rack text read back to the same records.
#include "core/RackFile.h"
#include "core/RackRecords.h"
#include "effects/EffectsPatch.h"
#include "flute/FlutePatch.h"
#include "string/StringPatch.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

void ReadPatchText(const tRackRecord& record) {
    std::istringstream in(record.patch);
    if (record.type == kStringModule) {
        tStringPatch patch;
        patch.Read(in);
    } else if (record.type == kFluteModule) {
        tFlutePatch patch;
        patch.Read(in);
    } else {
        tEffectsPatch patch;
        ReadEffectsPatch(in, patch);
    }
}

// The records as a rack file writes them; the patch text starts with the white space that
// ended its caption.
std::string RackText(const tRackRecords& records) {
    std::ostringstream out;
    out << "kelvora-state 0\n";
    for (const tRackRecord& r : records.modules)
        out << r.id << "\n[ " << r.type << ' ' << r.x << ' ' << r.y << ' ' << r.channel << ' '
            << r.on << ' ' << r.polyphony << '\n'
            << r.caption << r.patch << "]\n";
    for (const tRackConnection& connection : records.connections) {
        out << "+ " << connection.source;
        for (int target : connection.targets) out << ' ' << target;
        out << '\n';
    }
    return out.str();
}

bool SameRecord(const tRackRecord& a, const tRackRecord& b) {
    return a.id == b.id && a.type == b.type && a.x == b.x && a.y == b.y && a.channel == b.channel &&
           a.on == b.on && a.polyphony == b.polyphony && a.caption == b.caption &&
           a.patch == b.patch;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    tRackRecords records;
    const tRackTextResult result = ReadRackRecords(text, records, kMaxPatchText, kMaxCaption);
    if (result.error != tRackTextError::kNone) {
        Require(result.line >= 1 &&
                result.message.rfind("line " + std::to_string(result.line) + ": ", 0) == 0);
        return 0;
    }
    for (const tRackRecord& record : records.modules) {
        Require(record.type >= 1 && record.type <= 3);
        Require(!record.caption.empty() && record.caption.size() <= kMaxCaption);
        Require(record.patch.size() <= kMaxPatchText);
        ReadPatchText(record);
    }

    tRackRecords again;
    Require(ReadRackRecords(RackText(records), again, kMaxPatchText, kMaxCaption).error ==
            tRackTextError::kNone);
    Require(again.modules.size() == records.modules.size() && again.skipped == 0);
    for (std::size_t i = 0; i < records.modules.size(); ++i)
        Require(SameRecord(again.modules[i], records.modules[i]));
    Require(again.connections.size() == records.connections.size());
    for (std::size_t i = 0; i < records.connections.size(); ++i)
        Require(again.connections[i].source == records.connections[i].source &&
                again.connections[i].targets == records.connections[i].targets);
    return 0;
}
