// One sound or display parameter: the value an editor window shows in a widget.
//
// Controls are the parameter store shared by the engines, the MIDI controllers, the patch
// readers and writers and the windows. The value lives in an atomic so any thread may read or
// write it; a serial number counts the writes so that a window can find the controls whose
// value changed elsewhere (MIDI, patch loading, meters written by the audio thread).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

enum class tControlKind {
    Slider,     // value slider: Set() limits to the range
    FillSlider, // fill slider (resonator bands): Set() limits to the range
    Choice,     // drop-down list: the value is the entry index
    Switch,     // light / toggle / check button: 0 or 1
    Display,    // written by the engine only (meters, read-only boxes); carries a colour index
};

class tControl {
public:
    // Sliders: minimum and maximum as the widget shows them (a vertical slider may have the
    // larger value as its minimum), a step (0 = continuous) and the initial value.
    static tControl Slider(std::string label, double minimum, double maximum, double step,
                           double initial);
    static tControl FillSlider(std::string label, double minimum, double maximum, double step,
                               double initial);
    static tControl Choice(std::string label, std::vector<std::string> entries, int initial);
    static tControl Switch(std::string label, bool initial);
    static tControl Display(std::string label, double minimum, double maximum, double initial = 0.0,
                            int colour = 0);

    tControl(tControl&& other) noexcept;
    tControl(const tControl&) = delete;
    tControl& operator=(const tControl&) = delete;
    tControl& operator=(tControl&&) = delete;

    // --- description -------------------------------------------------------------------
    tControlKind Kind() const { return mKind; }
    const std::string& Label() const { return mLabel; }
    double Minimum() const { return mMinimum; }
    double Maximum() const { return mMaximum; }
    double Step() const { return mStep; }
    double Initial() const { return mInitial; }
    const std::vector<std::string>& Entries() const { return mEntries; }
    int EntryCount() const { return static_cast<int>(mEntries.size()); }

    // --- value ---------------------------------------------------------------------------
    double Value() const { return mValue.load(std::memory_order_relaxed); }
    // The value as a whole number (choice entry, switch, whole-step slider); truncates.
    int Index() const { return static_cast<int>(Value()); }
    bool IsOn() const { return Value() != 0.0; }

    // Writes the value by the widget's rules: a slider or fill slider limits it to its
    // range; a choice takes an entry index and ignores one that names no entry; a switch
    // stores 1 for any non-zero value. Display controls store the value unchanged.
    void Set(double value);
    // Stores the value exactly as given (values a window sets without limiting).
    void SetRaw(double value);
    // The value Set() would store for a slider (the range limit), for any kind.
    double Limit(double value) const;
    // Back to the initial value.
    void Reset() { SetRaw(mInitial); }

    // --- display colour (meters) ------------------------------------------------------
    int Colour() const { return mColour.load(std::memory_order_relaxed); }
    void SetColour(int colour);

    // Counts every write of value or colour; a window compares it with the count it saw.
    std::uint32_t Serial() const { return mSerial.load(std::memory_order_acquire); }
    // A counter of its owner's that every write of this control advances too, so that the
    // owner sees a write to any of its controls with one load (set before use).
    void SetWatcher(std::atomic<std::uint32_t>* writes) { mWatcher = writes; }

private:
    tControl(tControlKind kind, std::string label, double minimum, double maximum, double step,
             double initial, std::vector<std::string> entries, int colour);
    void Store(double value);

    tControlKind mKind;
    std::string mLabel;
    double mMinimum;
    double mMaximum;
    double mStep;
    double mInitial;
    std::vector<std::string> mEntries;
    std::atomic<double> mValue;
    std::atomic<int> mColour;
    std::atomic<std::uint32_t> mSerial{0};
    std::atomic<std::uint32_t>* mWatcher = nullptr;
};
