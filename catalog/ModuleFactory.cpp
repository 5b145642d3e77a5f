#include "catalog/ModuleFactory.h"

#include "core/Path.h"
#include "effects/EffectsModule.h"
#include "flute/FluteSynth.h"
#include "string/StringModule.h"

#include <string>

std::unique_ptr<tSlot> CreateModule(int type, int x, int y) {
    switch (type) {
    case kStringModule:
        return std::make_unique<tStringModule>(x, y);
    case kFluteModule:
        return std::make_unique<tFluteSynth>(x, y);
    case kEffectsModule:
        return std::make_unique<tEffectsModule>(x, y);
    default:
        return nullptr;
    }
}

int ModuleTypeOfPatch(const std::string& path) {
    const std::string extension = Extension(path);
    if (extension == ".pst") return kStringModule;
    if (extension == ".flt") return kFluteModule;
    if (extension == ".efx") return kEffectsModule;
    return 0;
}
