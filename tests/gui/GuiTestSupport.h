// What the window tests share: mouse events injected through the toolkit's own dispatch, an
// editor window that records what it is asked to do, and a main window built over real
// engine parts (rack, master controls, configuration, the render callback and the ALSA test
// devices).
#pragma once

#include "platform/AlsaTestDevices.h"
#include "platform/AudioTestSupport.h"

#include "core/Config.h"
#include "core/LoadCounters.h"
#include "core/MasterControls.h"
#include "core/MasterStage.h"
#include "core/Rack.h"
#include "core/Slot.h"
#include "gui/EditorWindow.h"
#include "gui/MainWindow.h"
#include "platform/AudioCallback.h"

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace guitest {

// --- mouse events, in window coordinates ------------------------------------------------

inline void Send(Fl_Window* window, int event, int x, int y, int button) {
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_x_root = x + window->x();
    Fl::e_y_root = y + window->y();
    Fl::e_keysym = FL_Button + button;
    Fl::e_state = event == FL_RELEASE ? 0 : FL_BUTTON(button);
    Fl::e_is_click = 0;
    Fl::handle(event, window);
}

inline void Click(Fl_Window* window, int x, int y, int button = FL_LEFT_MOUSE) {
    Send(window, FL_PUSH, x, y, button);
    Send(window, FL_RELEASE, x, y, button);
}

// Presses at (x0, y0), drags in a few steps to (x1, y1) and releases there.
inline void Drag(Fl_Window* window, int x0, int y0, int x1, int y1) {
    Send(window, FL_PUSH, x0, y0, FL_LEFT_MOUSE);
    constexpr int kSteps = 4;
    for (int i = 1; i <= kSteps; ++i)
        Send(window, FL_DRAG, x0 + (x1 - x0) * i / kSteps, y0 + (y1 - y0) * i / kSteps,
             FL_LEFT_MOUSE);
    Send(window, FL_RELEASE, x1, y1, FL_LEFT_MOUSE);
}

// --- an editor that writes down what it is asked ----------------------------------------

class tRecordingEditor : public tEditorWindow {
public:
    tRecordingEditor(tSlot& slot, std::vector<std::string>& log)
        : mId(std::to_string(slot.Id())), mLog(log) {}
    ~tRecordingEditor() override { mLog.push_back("destroyed " + mId); }
    void Open() override {
        mOpen = true;
        mLog.push_back("open " + mId);
    }
    void Close() override {
        mOpen = false;
        mLog.push_back("close " + mId);
    }
    bool IsOpen() const override { return mOpen; }
    void LoadDialog() override { mLog.push_back("load " + mId); }
    void SaveDialog() override { mLog.push_back("save " + mId); }

private:
    std::string mId;
    std::vector<std::string>& mLog;
    bool mOpen = false;
};

// --- the main window over real parts ----------------------------------------------------

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest() {
        // The rc file the window keeps its size in lives in a home of the test's own.
        char dir[] = "/tmp/kelvora-gui-home-XXXXXX";
        home = mkdtemp(dir) ? dir : "";
        const char* old = std::getenv("HOME");
        oldHome = old ? old : "";
        setenv("HOME", home.c_str(), 1);
        tSlot::ResetIdCounter();
        config.SetAudioDevice(alsatest::kNullDevice);
        config.SetPeriod(64);
        config.SetFragments(2);
        callback.SetChannels(2);
        audio.SetCallback(&paced);
        window = std::make_unique<tMainWindow>(
            tProgramParts{rack, master, config, counters, callback},
            [this](tSlot& slot, const tModuleContext&) -> std::unique_ptr<tEditorWindow> {
                return std::make_unique<tRecordingEditor>(slot, log);
            });
        window->SetDialogs({[this](const char* title, const char*, const std::string&) {
                                dialogs.push_back(std::string("choose ") + title);
                                return std::string();
                            },
                            [this](const std::string&) {
                                dialogs.push_back("replace?");
                                return false;
                            },
                            [this](const std::string& text) { dialogs.push_back(text); },
                            [this](const std::string& what) {
                                dialogs.push_back("save? " + what);
                                return saveAnswer;
                            }});
        window->Show();
        Fl::check();
    }
    ~MainWindowTest() override {
        StopTicking();
        window.reset();
        callback.Stop();
        audio.SetCallback(nullptr);
        std::filesystem::remove_all(home);
        setenv("HOME", oldHome.c_str(), 1);
    }

    Fl_Window* Win() const { return window->Widgets().window; }

    // The tick thread the program runs: without it the overload guard switches audio off.
    void StartTicking() {
        ticking = true;
        ticker = std::thread([this] {
            while (ticking) {
                counters.Tick();
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
    }
    void StopTicking() {
        ticking = false;
        if (ticker.joinable()) ticker.join();
    }

    std::string home, oldHome;
    std::vector<std::string> log;     // what the editors were asked
    std::vector<std::string> dialogs; // what the user was asked or told
    tDialogs::tSaveAnswer saveAnswer = tDialogs::kDiscard;
    tRack rack;
    tMasterControls master;
    tConfig config;
    tLoadCounters counters;
    tAudio audio{config};
    tMasterStage stage{master};
    tRenderCallback callback{rack, audio, stage, master};
    tPacedClient paced{callback};
    std::atomic<bool> ticking{false};
    std::thread ticker;
    std::unique_ptr<tMainWindow> window;
};

} // namespace guitest
