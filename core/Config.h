// The user's settings: audio system, patch directory, audio device, fragment count, period
// size and sample rate, kept in the rc file ".kelvorarc" in the home directory, and how the windows
// look: the UI scale and the main window's size (written only when they differ from the defaults).
//
// The settings are what the configuration window shows: two texts, the period and fragments
// sliders with their boxes, the sample rate choice, and the output delay those give. The audio
// device reads them each time audio starts. Used from the GUI thread (and main before the GUI
// runs).
#pragma once

#include "core/Control.h"
#include "dsp/SampleRate.h"

#include <cstddef>
#include <iosfwd>
#include <string>

struct tConfigControls {
    // Position 0..4 in the period table.
    tControl periodSlider = tControl::Slider("", 0.0, 4.0, 1.0, 3.0);
    tControl fragmentsSlider = tControl::Slider("", 2.0, 10.0, 1.0, 4.0);
    // The boxes beside the sliders: the stored period and the fragment count.
    tControl framesBox = tControl::Display("frames", 0.0, 256.0, 128.0);
    tControl fragmentsBox = tControl::Display("# of fragments:", 0.0, 10.0, 4.0);
    // Milliseconds of audio in the device buffer, shown with one decimal.
    tControl outputDelay = tControl::Display("mS", 0.0, 60.0, 0.0);
    // Entry in the rate table; -1 while the rate is one the table does not hold.
    tControl rateChoice = tControl::Choice("sample rate", {"44100", "48000", "88200", "96000"}, 0);
    // Where audio goes: entry 0 ALSA, 1 JACK; taken at the next "On".
    tControl audioSystem = tControl::Choice("Audio system:", {"ALSA", "JACK"}, 0);
    // The size of every window: 100, 150 or 200 %, taken when the program starts.
    tControl uiScale = tControl::Choice("UI scale:", {"100 %", "150 %", "200 %"}, 0);
};

class tConfig {
public:
    static constexpr int kPeriodTable[5] = {16, 32, 64, 128, 256};
    static constexpr const char* kDefaultDevice = "hw:0,0";
    static constexpr int kDefaultFragments = 4;
    static constexpr int kDefaultPeriod = 128;
    static constexpr int kRateTable[4] = {44100, 48000, 88200, 96000};
    static constexpr int kDefaultSampleRate = kReferenceRate;

    tConfig();
    tConfig(const tConfig&) = delete;
    tConfig& operator=(const tConfig&) = delete;

    // The rc file: HOME + "/.kelvorarc", or empty when HOME is not set.
    static std::string RcPath();

    static constexpr int kMinPeriod = 16;
    static constexpr int kMaxPeriod = 256;
    // Largest rc file read; it holds five short lines.
    static constexpr std::size_t kMaxRcFileSize = 64 * 1024;

    // Applies the defaults, then the rc file when there is one (a missing file is silent).
    // An rc file that is not a regular file of at most kMaxRcFileSize bytes, or cannot be
    // read, leaves the defaults: false with the message (also printed) in error.
    bool Read(std::string& error);
    void Read();
    // Applies the defaults, then every known key of the text.
    void Read(std::istream& in);
    // Writes the rc file through a temporary file renamed over it (a failed write leaves the
    // old file as it was); prints "Can't write config file PATH (reason)" and returns false
    // with that message in error when it cannot (also when there is no home directory).
    bool Write(std::string& error) const;
    bool Write() const;
    void Write(std::ostream& out) const;
    // The "Default Values" button: audio system, device, fragments, period and sample rate;
    // the patch directory stays.
    void SetDefaults();

    void SetPatchPath(const std::string& path) { mPatchPath = path; }
    const std::string& PatchPath() const { return mPatchPath; }
    // The patch directory ending in "/", or empty: where every file dialog starts.
    std::string PatchDir() const;
    // The directory chooser's result: the patch directory becomes the chosen path up to and
    // including its last "/".
    void ChoosePatchDir(const std::string& chosen);

    void SetAudioDevice(const std::string& name) { mAudioDevice = name; }
    const std::string& AudioDevice() const { return mAudioDevice; }

    // The fragments box and slider show n as given (a value the slider cannot reach stays,
    // and the device then refuses it).
    void SetFragments(int n);
    int Fragments() const { return mControls.fragmentsSlider.Index(); }
    // The fragments slider moved by the user.
    void MoveFragmentsSlider(double value);

    // The stored period, limited to kMinPeriod..kMaxPeriod; the slider goes to its entry in
    // the table, or to the last entry.
    void SetPeriod(int frames);
    int Period() const { return mPeriod; }
    // The period slider moved by the user to position 0..4.
    void MovePeriodSlider(int position);
    int PeriodPosition() const { return mControls.periodSlider.Index(); }
    // The period the rc file stores: the table value at the slider's position.
    int SliderPeriod() const;

    // The sample rate audio is asked to run at: a rate the engine accepts (see
    // isValidSampleRate); the rate choice shows its entry, or none. False, and nothing
    // changed, for another rate.
    bool SetSampleRate(int rate);
    int SampleRate() const { return mSampleRate; }
    // The rate choice moved by the user to entry 0..3.
    void ChooseSampleRate(int entry);
    // The value of an option or rc file line as a sample rate: a whole number the engine
    // accepts, else 0.
    static int ParseSampleRate(const std::string& text);

    // The audio system: the back-end "On" starts. The rc file and the command line name it
    // "alsa" or "jack".
    enum tAudioSystem { kAlsa = 0, kJack = 1 };
    void SetAudioSystem(tAudioSystem system) { mControls.audioSystem.Set(system); }
    tAudioSystem AudioSystem() const {
        return mControls.audioSystem.Index() == kJack ? kJack : kAlsa;
    }
    // False, and nothing changed, for a name other than "alsa" and "jack".
    bool SetAudioSystem(const std::string& name);
    static const char* AudioSystemName(tAudioSystem system);

    // Milliseconds: slider period x fragments at the sample rate.
    double OutputDelay() const { return mControls.outputDelay.Value(); }
    // The "mS" box's text, "%.1f".
    std::string OutputDelayText() const;

    // The UI scale in percent: 100, 150 or 200 (the nearest of these for any other value).
    static constexpr int kScalePercents[3] = {100, 150, 200};
    int UiScalePercent() const;
    void SetUiScalePercent(int percent);

    // The main window's size at factor 1, 0 x 0 when none was kept.
    int WindowWidth() const { return mWindowWidth; }
    int WindowHeight() const { return mWindowHeight; }
    void SetWindowSize(int w, int h);
    // Keeps the window size in the rc file without touching its other lines (the settings
    // shown in the configuration window are saved by its "Save" alone). False with a message
    // in error when the file cannot be written.
    bool WriteWindowSize(std::string& error) const;

    tConfigControls& Controls() { return mControls; }
    const tConfigControls& Controls() const { return mControls; }

private:
    void ApplyLine(const std::string& line);
    void UpdateOutputDelay();

    tConfigControls mControls;
    std::string mPatchPath;
    std::string mAudioDevice = kDefaultDevice;
    int mPeriod = kDefaultPeriod;
    int mSampleRate = kDefaultSampleRate;
    int mWindowWidth = 0;
    int mWindowHeight = 0;
};
