#include "gui/AudioNotices.h"

#include "core/MasterControls.h"

#include <FL/Fl_Widget.H>

tAudioNotices::tAudioNotices(tMasterControls& master, Fl_Widget& loadMeter, tTell tell)
    : mMaster(master), mLoadMeter(loadMeter), mTell(std::move(tell)),
      mOffSerial(master.audioOff.Serial()), mUnderrunSerial(master.underruns.Serial()) {
    ShowTooltip();
}

void tAudioNotices::Refresh() {
    if (mMaster.underruns.Serial() != mUnderrunSerial) {
        mUnderrunSerial = mMaster.underruns.Serial();
        ShowTooltip();
    }
    const std::uint32_t off = mMaster.audioOff.Serial();
    if (off == mOffSerial) return;
    // Seen before it is told: the message box runs the toolkit's loop, and this timer with it.
    mOffSerial = off;
    const char* message = AudioOffMessage(mMaster.audioOff.Index());
    if (*message != '\0' && mTell) mTell(message);
}

void tAudioNotices::ShowTooltip() {
    const std::string text = "processor time of the audio thread, in % of each period; " +
                             std::to_string(mMaster.underruns.Index()) + " underruns";
    mLoadMeter.copy_tooltip(text.c_str());
}
