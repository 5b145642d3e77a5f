#include "core/Config.h"

#include "core/TextFile.h"
#include "dsp/SampleRate.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <istream>
#include <ostream>
#include <sstream>

namespace {
constexpr std::size_t kMaxLine = 1023; // longer lines are cut
// Window sizes outside this range are not kept.
constexpr int kMaxWindowSide = 16384;

int Whole(const std::string& value) {
    return static_cast<int>(std::clamp<long>(std::strtol(value.c_str(), nullptr, 10), -1, 1 << 20));
}

std::string WindowLines(int w, int h) {
    if (w <= 0 || h <= 0) return std::string();
    return "WindowWidth=" + std::to_string(w) + "\nWindowHeight=" + std::to_string(h) + "\n";
}
} // namespace

tConfig::tConfig() {
    UpdateOutputDelay();
}

std::string tConfig::RcPath() {
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') return std::string();
    return std::string(home) + "/.kelvorarc";
}

void tConfig::SetDefaults() {
    SetAudioSystem(kAlsa);
    SetAudioDevice(kDefaultDevice);
    SetFragments(kDefaultFragments);
    SetPeriod(kDefaultPeriod);
    SetSampleRate(kDefaultSampleRate);
}

bool tConfig::Read(std::string& error) {
    SetDefaults();
    const std::string path = RcPath();
    if (path.empty()) return true;
    std::string text, reason;
    const tFileRead read = ReadTextFile(path, text, kMaxRcFileSize, reason);
    if (read == tFileRead::kMissing) return true;
    if (read != tFileRead::kOk) {
        error = ReadFailure(read, path, "rc", reason);
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    std::istringstream in(text);
    Read(in);
    return true;
}

void tConfig::Read() {
    std::string error;
    Read(error);
}

void tConfig::Read(std::istream& in) {
    SetDefaults();
    SetUiScalePercent(kScalePercents[0]);
    SetWindowSize(0, 0);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() > kMaxLine) line.resize(kMaxLine);
        ApplyLine(line);
    }
}

void tConfig::ApplyLine(const std::string& whole) {
    const std::string line = whole.substr(0, whole.find('\r'));
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) return;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "PatchPath") {
        SetPatchPath(value);
    } else if (key == "AudioDevice") {
        SetAudioDevice(value);
    } else if (key == "NumFragments") {
        SetFragments(static_cast<int>(std::strtol(value.c_str(), nullptr, 10)));
    } else if (key == "PeriodSize") {
        const long frames = std::strtol(value.c_str(), nullptr, 10);
        SetPeriod(static_cast<int>(std::clamp<long>(frames, kMinPeriod, kMaxPeriod)));
        if (frames != mPeriod)
            std::fprintf(
                stderr,
                "PeriodSize %ld in the rc file is outside %d..%d; audio period size set to: %d\n",
                frames, kMinPeriod, kMaxPeriod, mPeriod);
    } else if (key == "SampleRate") {
        if (!SetSampleRate(ParseSampleRate(value)))
            std::fprintf(stderr,
                         "SampleRate %s in the rc file is not a rate of %d..%d Hz; the sample "
                         "rate stays %d\n",
                         value.c_str(), kMinSampleRate, kMaxSampleRate, mSampleRate);
    } else if (key == "AudioSystem") {
        if (!SetAudioSystem(value))
            std::fprintf(stderr,
                         "AudioSystem %s in the rc file is neither alsa nor jack; the audio "
                         "system stays %s\n",
                         value.c_str(), AudioSystemName(AudioSystem()));
    } else if (key == "UIScale") {
        SetUiScalePercent(Whole(value));
    } else if (key == "WindowWidth") {
        SetWindowSize(Whole(value), mWindowHeight);
    } else if (key == "WindowHeight") {
        SetWindowSize(mWindowWidth, Whole(value));
    }
}

bool tConfig::Write(std::string& error) const {
    const std::string path = RcPath();
    std::ostringstream out;
    Write(out);
    std::string reason = "HOME is not set";
    if (path.empty() || !WriteTextFile(path, out.str(), reason)) {
        error = "Can't write config file " + (path.empty() ? std::string("~/.kelvorarc") : path) +
                " (" + reason + ")";
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

bool tConfig::Write() const {
    std::string error;
    return Write(error);
}

void tConfig::Write(std::ostream& out) const {
    out << "PatchPath=" << mPatchPath << '\n'
        << "AudioDevice=" << mAudioDevice << '\n'
        << "NumFragments=" << Fragments() << '\n'
        << "PeriodSize=" << SliderPeriod() << '\n'
        << "SampleRate=" << mSampleRate << '\n';
    // Like the scale, written only when it is not the default.
    if (AudioSystem() != kAlsa) out << "AudioSystem=" << AudioSystemName(AudioSystem()) << '\n';
    if (UiScalePercent() != kScalePercents[0]) out << "UIScale=" << UiScalePercent() << '\n';
    out << WindowLines(mWindowWidth, mWindowHeight);
}

int tConfig::UiScalePercent() const {
    return kScalePercents[std::clamp(mControls.uiScale.Index(), 0, 2)];
}

void tConfig::SetUiScalePercent(int percent) {
    int nearest = 0;
    for (int i = 1; i < 3; ++i)
        if (std::abs(percent - kScalePercents[i]) < std::abs(percent - kScalePercents[nearest]))
            nearest = i;
    mControls.uiScale.Set(nearest);
}

void tConfig::SetWindowSize(int w, int h) {
    mWindowWidth = std::clamp(w, 0, kMaxWindowSide);
    mWindowHeight = std::clamp(h, 0, kMaxWindowSide);
}

bool tConfig::WriteWindowSize(std::string& error) const {
    const std::string path = RcPath();
    std::string text, reason = "HOME is not set";
    if (!path.empty()) {
        const tFileRead read = ReadTextFile(path, text, kMaxRcFileSize, reason);
        if (read != tFileRead::kOk && read != tFileRead::kMissing) {
            error = ReadFailure(read, path, "rc", reason);
            std::fprintf(stderr, "%s\n", error.c_str());
            return false;
        }
    }
    // The file's other lines stay as they are; the size lines are written anew at its end.
    std::istringstream in(text);
    std::string kept, line;
    while (std::getline(in, line))
        if (line.rfind("WindowWidth=", 0) != 0 && line.rfind("WindowHeight=", 0) != 0)
            kept += line + '\n';
    kept += WindowLines(mWindowWidth, mWindowHeight);
    if (path.empty() || !WriteTextFile(path, kept, reason)) {
        error = "Can't write config file " + path + " (" + reason + ")";
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

std::string tConfig::PatchDir() const {
    if (mPatchPath.empty() || mPatchPath.back() == '/') return mPatchPath;
    return mPatchPath + "/";
}

void tConfig::ChoosePatchDir(const std::string& chosen) {
    std::fprintf(stderr, "%s choosen\n", chosen.c_str());
    const std::size_t slash = chosen.rfind('/');
    SetPatchPath(slash == std::string::npos ? std::string() : chosen.substr(0, slash + 1));
}

void tConfig::SetFragments(int n) {
    mControls.fragmentsBox.SetRaw(n);
    mControls.fragmentsSlider.SetRaw(n);
    UpdateOutputDelay();
}

void tConfig::MoveFragmentsSlider(double value) {
    mControls.fragmentsSlider.Set(value);
    mControls.fragmentsBox.SetRaw(mControls.fragmentsSlider.Index());
    UpdateOutputDelay();
}

void tConfig::SetPeriod(int frames) {
    frames = std::clamp(frames, kMinPeriod, kMaxPeriod);
    mPeriod = frames;
    mControls.framesBox.SetRaw(frames);
    const int* end = std::end(kPeriodTable);
    const int* entry = std::find(std::begin(kPeriodTable), end, frames);
    mControls.periodSlider.SetRaw(entry == end ? 4 : static_cast<int>(entry - kPeriodTable));
    UpdateOutputDelay();
}

void tConfig::MovePeriodSlider(int position) {
    mControls.periodSlider.Set(position);
    mPeriod = SliderPeriod();
    mControls.framesBox.SetRaw(mPeriod);
    UpdateOutputDelay();
}

int tConfig::SliderPeriod() const {
    return kPeriodTable[std::clamp(PeriodPosition(), 0, 4)];
}

void tConfig::UpdateOutputDelay() {
    mControls.outputDelay.SetRaw(SliderPeriod() * mControls.fragmentsSlider.Value() *
                                 (1000.0 / mSampleRate));
}

bool tConfig::SetSampleRate(int rate) {
    if (!isValidSampleRate(rate)) return false;
    mSampleRate = rate;
    const int* end = std::end(kRateTable);
    const int* entry = std::find(std::begin(kRateTable), end, rate);
    mControls.rateChoice.SetRaw(entry == end ? -1 : static_cast<int>(entry - kRateTable));
    UpdateOutputDelay();
    return true;
}

void tConfig::ChooseSampleRate(int entry) {
    if (entry < 0 || entry >= static_cast<int>(std::size(kRateTable))) return;
    SetSampleRate(kRateTable[entry]);
}

int tConfig::ParseSampleRate(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long long rate = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || !isValidSampleRate(rate)) return 0;
    return static_cast<int>(rate);
}

bool tConfig::SetAudioSystem(const std::string& name) {
    if (name == "alsa")
        SetAudioSystem(kAlsa);
    else if (name == "jack")
        SetAudioSystem(kJack);
    else
        return false;
    return true;
}

const char* tConfig::AudioSystemName(tAudioSystem system) {
    return system == kJack ? "jack" : "alsa";
}

std::string tConfig::OutputDelayText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", OutputDelay());
    return text;
}
