// The effects module in a rack rendered on its own thread while MIDI events arrive from
// another and the owning thread edits the widgets, reads the meter and loads patches.
#include "catalog/PresetTexts.h"
#include "core/Rack.h"
#include "effects/EffectsModule.h"

#include "effects/TestSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

TEST(EffectsThreads, RenderingWhileEditingLoadingAndPanning) {
    tRack rack;
    rack.SetChannels(2);
    auto* fx = new tEffectsModule(160, 45);
    {
        std::istringstream text(PresetTable()[0].effects);
        fx->ReadPatch("CleanGtr", text);
    }
    rack.Insert(fx);
    auto* source = new tTestSource(0.0, 0.3);
    rack.Connect(source, fx);
    rack.Insert(source);
    tEffectsControls& c = fx->Engine().Controls();
    {
        tRack::tGuard guard(rack);
        fx->SwitchOn();
    }

    std::atomic<bool> stop{false};
    std::atomic<bool> finite{true};
    std::atomic<int> blocks{0};
    std::thread audio([&] {
        while (!stop.load()) {
            const double* mix = rack.Render(128);
            for (int i = 0; i < 256; ++i)
                if (!std::isfinite(mix[i])) finite.store(false);
            blocks.fetch_add(1);
        }
    });
    std::thread midi([&] {
        for (int i = 0; i < 2000 && !stop.load(); ++i) {
            rack.SetPan(0, i % 128);
            rack.Controller(0, 7, i % 128);
            std::this_thread::yield();
        }
    });

    for (int round = 0; round < 200; ++round) {
        c.reverb.type.Set(round % 4);
        c.chorus.width.Set(10 + round * 5);
        c.filter.order.Set(round % 4);
        c.delay.pingPong.Set(round % 2);
        c.top.meterOn.Set(1);
        (void)c.top.meter.Value();
        (void)c.top.meter.Colour();
        if (round % 20 == 0) {
            tRack::tGuard guard(rack);
            std::istringstream text(PresetTable()[round % 12].effects);
            fx->ReadPatch("preset", text);
            if (round % 40 == 0)
                fx->SwitchOff();
            else
                fx->SwitchOn();
        }
        std::this_thread::yield();
    }
    while (blocks.load() < 200) std::this_thread::yield();
    stop.store(true);
    audio.join();
    midi.join();
    EXPECT_TRUE(finite.load());
    // Pan events reach the module on the rendering side.
    rack.SetPan(0, 0);
    rack.Render(128);
    EXPECT_EQ(fx->Engine().GainLeft(), 0.0);
    EXPECT_EQ(fx->Engine().GainRight(), 2.0);
}
