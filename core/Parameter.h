// One parameter of a module as the front ends outside its window name it: the control it is
// (label, kind, range, step, default and entries come from the control itself), a stable key,
// the group of the window it sits in, its unit, the MIDI controllers that move it and where
// the module's patch text keeps it.
//
// Each module lists its parameters in one table (string/StringParameters.h and its
// neighbours); plugin ports and their descriptions are derived from it. A key is the plugin
// port's symbol: keys and their order in a table never change once released, since hosts
// save sessions by them; new parameters go at the end.
#pragma once

#include "core/Control.h"

#include <string>
#include <vector>

enum class tUnit { kNone, kHz, kMs, kOctaves };

// What writing the parameter does beyond storing the control's value.
enum class tParameterRole {
    kPlain,   // the control alone; the engine reads it where the window's widget is read
    kOn,      // the module switched on (1) or off (0); no control of its own unless given
    kChannel, // "midi channel": the module's SetChannel with entry + 1
    kBypass,  // "all effects off": the effects chain passes its input through unchanged
};

struct tParameter {
    const char* key;            // lower-case letters, digits and '_'; the port symbol
    tControl* control;          // null only for a kOn parameter the window has no control for
    const char* group;          // the window's group title ("" for the top bar)
    const char* name = nullptr; // the name shown, for a control without a label
    tUnit unit = tUnit::kNone;
    int controllers[2] = {0, 0}; // MIDI controller numbers that write the control; 0 = none
    int patchRecord = 0;         // effects texts: 1 the output volume line, 2.. the units
    int patchField = 0;          // 1-based position in the text or record; 0 = not kept there
    int patchScale = 1;          // effects texts keep value x scale as a whole number
    tParameterRole role = tParameterRole::kPlain;

    // The name a host shows: the control's label without the blanks around it, or name.
    std::string Name() const;
    // Range and default: the control's; a plugin starts with its module on and its effects
    // running, so kOn defaults to 1 and kBypass to 0.
    double Minimum() const;
    double Maximum() const;
    double Default() const;
    bool IsToggle() const;
    bool IsChoice() const;
    // The control's value as a host would hold it (kOn parameters read on).
    double Value(bool on) const;
    // The value a host gives, written as the window's widget would write it: a slider limited
    // to its range, a choice rounded to the nearest entry, a toggle on above 0. Only the
    // control is written; what the role does beyond that is the front end's.
    void Write(double value) const;
};

using tParameterTable = std::vector<tParameter>;
