#include "gui/ControllerProbe.h"

#include "core/Control.h"

#include <cstdint>

namespace {

constexpr int kFirstController = 1;
constexpr int kLastController = 119; // 120..127 are channel mode messages

const tControl& At(const void* base, std::ptrdiff_t offset) {
    return *reinterpret_cast<const tControl*>(static_cast<const char*>(base) + offset);
}

} // namespace

std::ptrdiff_t OffsetIn(const void* base, const tControl& control) {
    return reinterpret_cast<const char*>(&control) - static_cast<const char*>(base);
}

tControllerMap ProbeControllers(const std::vector<std::ptrdiff_t>& offsets, const void* spare,
                                const std::function<void(int number, int value)>& send) {
    tControllerMap map;
    std::vector<std::uint32_t> serials(offsets.size());
    for (int number = kFirstController; number <= kLastController; ++number) {
        for (std::size_t i = 0; i < offsets.size(); ++i)
            serials[i] = At(spare, offsets[i]).Serial();
        send(number, 64);
        for (std::size_t i = 0; i < offsets.size(); ++i)
            if (At(spare, offsets[i]).Serial() != serials[i]) map[offsets[i]].push_back(number);
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
