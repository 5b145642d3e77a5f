// The rack file reader on arbitrary text: whatever it loads renders, and saves as a file that
// loads completely.
#include "catalog/ModuleFactory.h"
#include "core/RackFile.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tRack rack;
    rack.SetChannels(2);
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const tRackLoadResult loaded = LoadRack(rack, in, false, CreateModule);
    if (static_cast<std::size_t>(loaded.modules) != rack.Slots().size()) std::abort();
    rack.NoteOn(0, 60, 100);
    rack.Render(64);

    std::ostringstream saved;
    if (!SaveRack(rack, saved)) std::abort();
    tRack copy;
    std::istringstream back(saved.str());
    const tRackLoadResult reloaded = LoadRack(copy, back, false, CreateModule);
    if (reloaded.status != tRackFileStatus::kOk || copy.Slots().size() != rack.Slots().size())
        std::abort();
    return 0;
}
