#include "effects/EffectsPatch.h"

#include "effects/EffectUnit.h"
#include "effects/Effects.h"

#include <istream>
#include <ostream>

namespace {
constexpr int kFormat = 15;

// Reads one record into values: integers up to the -1, which is stored after them. Values
// beyond the buffer are read and dropped, so that the next record starts in the right place.
void ReadRecord(std::istream& in, int* values) {
    int n = 0;
    int v;
    while (in >> v && v != -1) {
        if (n < tEffectUnit::kRecordSize - 1) values[n++] = v;
    }
    values[n] = -1;
}
} // namespace

void WriteEffectsPatch(const tEffects& effects, std::ostream& out) {
    out << kFormat << '\n';
    out << "0 " << PatchInt(effects.Controls().top.outputVolume, 100.0) << '\n';
    int record[tEffectUnit::kRecordSize];
    for (int p = 0; p < tEffects::kChainLength; ++p) {
        effects.Unit(p)->getParams(record);
        for (int i = 0; i < tEffectUnit::kRecordSize; ++i) {
            out << record[i] << ' ';
            if (record[i] == -1) break;
        }
        out << '\n';
    }
}

void ReadEffectsPatch(tEffects& effects, std::istream& in) {
    int format = 0;
    int ignored = 0;
    double volume = 0.0;
    // The volume may carry a decimal fraction; it is read as a number either way.
    if (in >> format >> ignored >> volume)
        effects.Controls().top.outputVolume.SetRaw(volume / 100.0);
    int record[tEffectUnit::kRecordSize];
    for (int p = 0; p < tEffects::kChainLength; ++p) {
        ReadRecord(in, record);
        tEffectUnit* unit = effects.Unit(p);
        unit->setParams(record);
        unit->update();
    }
}
