// Which MIDI controller moves which control of a module, as its parameter table lists it (a
// test holds the table to what the engine does). The editor windows' tooltips name these
// controllers.
//
// A control is named by where it lies in its module's control struct (its offset), which is
// the same in every module of that kind.
#pragma once

#include "core/Parameter.h"

#include <cstddef>
#include <map>
#include <string>
#include <vector>

class tControl;

using tControllerMap = std::map<std::ptrdiff_t, std::vector<int>>;

// The offset of control in the struct that starts at base.
std::ptrdiff_t OffsetIn(const void* base, const tControl& control);

// For each control of the table (bound to the struct at base) that controllers move, their
// numbers.
tControllerMap ControllersOf(const tParameterTable& table, const void* base);

// "MIDI controller 11 moves it.", "MIDI controllers 2 and 19 move it." or "No MIDI controller
// moves it."
std::string ControllerText(const std::vector<int>& numbers);
