// What the audio path tells the user: why audio went off by itself (the machine overloaded,
// the sound card gone), told once each time it happens, and the sound card's underruns,
// shown in the load meter's tooltip.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct tMasterControls;
class Fl_Widget;

class tAudioNotices {
public:
    using tTell = std::function<void(const std::string& message)>;

    // loadMeter carries the tooltip; tell shows a message.
    tAudioNotices(tMasterControls& master, Fl_Widget& loadMeter, tTell tell);
    // On the GUI timer: tells what is new.
    void Refresh();

private:
    void ShowTooltip();

    tMasterControls& mMaster;
    Fl_Widget& mLoadMeter;
    tTell mTell;
    std::uint32_t mOffSerial;
    std::uint32_t mUnderrunSerial;
};
