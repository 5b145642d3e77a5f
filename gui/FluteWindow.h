// The flute synthesizer's editor window ("KV Flute Synthesizer", class "kvFlute").
#pragma once

#include "gui/ModuleEditor.h"

#include <memory>

class tFluteSynth;
class tMappingWindow;

class tFluteWindow : public tModuleEditor {
public:
    tFluteWindow(tFluteSynth& module, const tModuleContext& context);
    ~tFluteWindow() override;

    tMappingWindow& Mapping() { return *mMapping; }

protected:
    void StopSounds() override;
    void ShowMapping() override;

private:
    tFluteSynth& mModule;
    std::shared_ptr<tMappingWindow> mMapping;
};
