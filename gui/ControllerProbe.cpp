#include "gui/ControllerProbe.h"

#include "core/Control.h"

std::ptrdiff_t OffsetIn(const void* base, const tControl& control) {
    return reinterpret_cast<const char*>(&control) - static_cast<const char*>(base);
}

tControllerMap ControllersOf(const tParameterTable& table, const void* base) {
    tControllerMap map;
    for (const tParameter& parameter : table) {
        if (parameter.control == nullptr) continue;
        for (int number : parameter.controllers)
            if (number != 0) map[OffsetIn(base, *parameter.control)].push_back(number);
    }
    return map;
}

std::string ControllerText(const std::vector<int>& numbers) {
    if (numbers.empty()) return "No MIDI controller moves it.";
    std::string text = numbers.size() == 1 ? "MIDI controller " : "MIDI controllers ";
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        if (i > 0) text += i + 1 == numbers.size() ? " and " : ", ";
        text += std::to_string(numbers[i]);
    }
    return text + (numbers.size() == 1 ? " moves it." : " move it.");
}
