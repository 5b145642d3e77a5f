// The string synthesizer's editor window ("KV String Synthesizer", class "kvString").
#pragma once

#include "gui/ModuleEditor.h"

#include <memory>

class tStringModule;
class tMappingWindow;

class tStringWindow : public tModuleEditor {
public:
    tStringWindow(tStringModule& module, const tModuleContext& context);
    ~tStringWindow() override;

    tMappingWindow& Mapping() { return *mMapping; }

protected:
    void StopSounds() override;
    void ShowMapping() override;

private:
    tStringModule& mModule;
    std::shared_ptr<tMappingWindow> mMapping;
};
