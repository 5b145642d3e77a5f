#include "flute/FluteControls.h"

#include <string>
#include <vector>

namespace {

std::vector<std::string> ChannelEntries() {
    std::vector<std::string> entries;
    for (int channel = 1; channel <= 16; ++channel) entries.push_back(std::to_string(channel));
    return entries;
}

} // namespace

tFluteControls::tFluteControls()
    : midiChannel(tControl::Choice("midi channel", ChannelEntries(), 0)) {}
