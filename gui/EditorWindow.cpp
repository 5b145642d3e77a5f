#include "gui/EditorWindow.h"

#include "effects/EffectsModule.h"
#include "flute/FluteSynth.h"
#include "gui/EffectsWindow.h"
#include "gui/FluteWindow.h"
#include "gui/StringWindow.h"
#include "string/StringModule.h"

std::unique_ptr<tEditorWindow> MakeEditorWindow(tSlot& slot, const tModuleContext& context) {
    switch (slot.Type()) {
    case kStringModule:
        if (auto* module = dynamic_cast<tStringModule*>(&slot))
            return std::make_unique<tStringWindow>(*module, context);
        break;
    case kFluteModule:
        if (auto* module = dynamic_cast<tFluteSynth*>(&slot))
            return std::make_unique<tFluteWindow>(*module, context);
        break;
    case kEffectsModule:
        if (auto* module = dynamic_cast<tEffectsModule*>(&slot))
            return std::make_unique<tEffectsWindow>(*module, context);
        break;
    default:
        break;
    }
    return nullptr;
}
