// Which MIDI controller moves which control of a module, found from the module itself: every
// controller number is sent to a spare module of the same kind, and the controls it wrote are
// noted. The editor windows' tooltips name these controllers, so they always say what the
// engine does.
//
// A control is named by where it lies in its module's control struct (its offset), which is
// the same in the spare module and in every module of that kind.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

class tControl;

using tControllerMap = std::map<std::ptrdiff_t, std::vector<int>>;

// The offset of control in the struct that starts at base.
std::ptrdiff_t OffsetIn(const void* base, const tControl& control);

// Sends controllers 1..119 one by one to a spare module through send (number, value) and
// notes, for each offset, the numbers after which the control at that offset in spare (the
// spare module's control struct) had been written.
tControllerMap ProbeControllers(const std::vector<std::ptrdiff_t>& offsets, const void* spare,
                                const std::function<void(int number, int value)>& send);

// "MIDI controller 11 moves it.", "MIDI controllers 2 and 19 move it." or "No MIDI controller
// moves it."
std::string ControllerText(const std::vector<int>& numbers);
