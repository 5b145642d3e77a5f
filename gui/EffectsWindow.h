// The effects module's editor window ("KV Effects", class "kvEffects").
#pragma once

#include "gui/ModuleEditor.h"

class tEffectsModule;

class tEffectsWindow : public tModuleEditor {
public:
    tEffectsWindow(tEffectsModule& module, const tModuleContext& context);
    ~tEffectsWindow() override;

protected:
    // The effects unit has no stop button.
    void StopSounds() override {}

private:
    tEffectsModule& mModule;
};
