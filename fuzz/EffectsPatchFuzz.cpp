// The effects patch reader on arbitrary text: every record it reads ends with its -1 within
// the record's room, nothing is read without the volume line, and what it read, written out,
// reads back to the same record.
#include "effects/EffectsPatch.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

// The values of a record up to its -1 (which must be there).
int Length(const int* record) {
    const int* end = std::find(record, record + tEffectUnit::kRecordSize, -1);
    Require(end != record + tEffectUnit::kRecordSize);
    return static_cast<int>(end - record);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tEffectsPatch patch;
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    ReadEffectsPatch(in, patch);
    Require(std::isfinite(patch.volume));
    for (const int* record : patch.records) {
        const int length = Length(record);
        Require(patch.hasVolume || length == 0);
    }
    if (!patch.hasVolume) return 0;

    std::ostringstream out;
    WriteEffectsPatch(patch, out);
    tEffectsPatch again;
    std::istringstream back(out.str());
    ReadEffectsPatch(back, again);
    Require(again.hasVolume && again.volume == patch.volume);
    for (int p = 0; p < tEffects::kChainLength; ++p) {
        const int length = Length(patch.records[p]);
        Require(Length(again.records[p]) == length &&
                std::equal(patch.records[p], patch.records[p] + length, again.records[p]));
    }
    return 0;
}
