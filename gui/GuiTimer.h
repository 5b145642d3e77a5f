// The GUI thread's timer: about 30 times a second it shows changed controls in their widgets
// and runs the views' own refresh steps (the rack's icons, window titles).
//
// Everything here runs on the GUI thread; the audio and MIDI threads never touch a widget,
// they write controls, and the timer carries the change to the screen.
#pragma once

#include <functional>

class tControlBinding;

namespace tGuiTimer {

constexpr double kPeriodSeconds = 1.0 / 30.0;

// Starts the repeating timer (idempotent) and stops it.
void Start();
void Stop();
bool Running();

// Bindings register themselves; other views add a refresh step under an owner key.
void Add(tControlBinding* binding);
void Remove(tControlBinding* binding);
void Add(const void* owner, std::function<void()> step);
void Remove(const void* owner);

// One timer tick: every binding's Refresh() and every step. Tests call it directly.
void RefreshAll();

} // namespace tGuiTimer
