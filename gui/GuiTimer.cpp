#include "gui/GuiTimer.h"

#include "gui/ControlBinding.h"

#include <FL/Fl.H>

#include <algorithm>
#include <utility>
#include <vector>

namespace {

struct tStep {
    const void* owner;
    std::function<void()> step;
};

std::vector<tControlBinding*>& Bindings() {
    static std::vector<tControlBinding*> bindings;
    return bindings;
}

std::vector<tStep>& Steps() {
    static std::vector<tStep> steps;
    return steps;
}

bool gRunning = false;

void Tick(void*) {
    tGuiTimer::RefreshAll();
    Fl::repeat_timeout(tGuiTimer::kPeriodSeconds, Tick);
}

} // namespace

namespace tGuiTimer {

void Start() {
    if (gRunning) return;
    gRunning = true;
    Fl::add_timeout(kPeriodSeconds, Tick);
}

void Stop() {
    if (!gRunning) return;
    gRunning = false;
    Fl::remove_timeout(Tick);
}

bool Running() {
    return gRunning;
}

void Add(tControlBinding* binding) {
    Bindings().push_back(binding);
}

void Remove(tControlBinding* binding) {
    std::erase(Bindings(), binding);
}

void Add(const void* owner, std::function<void()> step) {
    Steps().push_back({owner, std::move(step)});
}

void Remove(const void* owner) {
    std::erase_if(Steps(), [owner](const tStep& step) { return step.owner == owner; });
}

void RefreshAll() {
    // A step may close a window and so remove bindings or steps: walk copies.
    const std::vector<tControlBinding*> bindings = Bindings();
    for (tControlBinding* binding : bindings)
        if (std::find(Bindings().begin(), Bindings().end(), binding) != Bindings().end())
            binding->Refresh();
    const std::vector<tStep> steps = Steps();
    for (const tStep& step : steps) {
        const bool stillThere = std::any_of(Steps().begin(), Steps().end(),
                                            [&](const tStep& s) { return s.owner == step.owner; });
        if (stillThere) step.step();
    }
}

} // namespace tGuiTimer
