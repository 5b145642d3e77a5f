// A rack file applied to real modules (slower than the readers' targets: each input builds its
// modules with their voices and lines): whatever loads renders a note, every module's patch
// text reads back into a fresh module of its kind as the same text, and the rack saves as a
// file that loads completely.
#include "catalog/ModuleFactory.h"
#include "core/RackFile.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

std::string WrittenPatch(tSlot& slot) {
    std::ostringstream out;
    slot.WritePatch(out);
    return out.str();
}

// One module of each kind, kept for all inputs: reading a complete patch text sets all it has.
tSlot& Fresh(int type) {
    static tSlot* const modules[] = {nullptr, CreateModule(kStringModule, 0, 0).release(),
                                     CreateModule(kFluteModule, 0, 0).release(),
                                     CreateModule(kEffectsModule, 0, 0).release()};
    return *modules[type];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tRack rack;
    rack.SetChannels(2);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const tRackLoadResult loaded = LoadRack(rack, in, false, CreateModule);
    if (static_cast<std::size_t>(loaded.modules) != rack.Slots().size()) std::abort();
    rack.NoteOn(0, 60, 100);
    rack.Controller(0, -1, 16383);
    rack.Render(64);

    for (tSlot* slot : rack.Slots()) {
        const std::string text = WrittenPatch(*slot);
        tSlot& again = Fresh(slot->Type());
        std::istringstream back(text);
        again.ReadPatch("again", back);
        if (WrittenPatch(again) != text) std::abort();
    }

    std::ostringstream saved;
    if (!SaveRack(rack, saved)) std::abort();
    tRack copy;
    std::istringstream back(saved.str());
    const tRackLoadResult reloaded = LoadRack(copy, back, false, CreateModule);
    if (reloaded.status != tRackFileStatus::kOk || copy.Slots().size() != rack.Slots().size())
        std::abort();
    return 0;
}
