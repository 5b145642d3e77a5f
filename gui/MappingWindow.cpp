#include "gui/MappingWindow.h"

#include "gui/Artwork.h"
#include "gui/Scale.h"
#include "gui/Skin.h"

#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>

#include <cstdlib>
#include <vector>

namespace {

struct tRow {
    const char* controller; // a number, "Pitch bender" or "2 and 19"
    const char* function;
};

// A row: a number right-aligned in 7 characters (a name after three blanks), the function
// from column 24.
std::string Row(const tRow& row) {
    std::string text = row.controller;
    const bool number = text.find_first_not_of("0123456789") == std::string::npos;
    if (number)
        text.insert(0, text.size() < 7 ? 7 - text.size() : 0, ' ');
    else
        text.insert(0, 3, ' ');
    text.resize(text.size() < 23 ? 23 : text.size(), ' ');
    return text + row.function;
}

std::string Table(const char* what, const std::vector<tRow>& rows) {
    std::string text = "\n Midi-Ctrl Number          ";
    text += what;
    text += "\n " + std::string(56, '=') + "\n";
    for (std::size_t i = 0; i < rows.size(); ++i) {
        text += Row(rows[i]);
        if (i + 1 < rows.size()) text += '\n';
    }
    return text;
}

// Flute rows: section padded to 15 characters, so the function starts in column 39.
std::string Flute(const char* section, const char* function) {
    std::string text = section;
    text.resize(text.size() < 15 ? 15 : text.size(), ' ');
    return text + function;
}

// The field: a read-only text display that can tell whether its last line is in view.
class tMappingText : public Fl_Text_Display {
public:
    using Fl_Text_Display::Fl_Text_Display;
    bool LastLineShown() const {
        // Lines from the top one; the last visible one may be cut off at the bottom. The
        // buffer's last line is number newlines + 1.
        const int fullyShown = mNVisibleLines - 1;
        return mTopLineNum + fullyShown - 1 >= mNBufferLines + 1;
    }
};

template <class Make>
std::shared_ptr<tMappingWindow> Shared(std::weak_ptr<tMappingWindow>& kept, Make make) {
    std::shared_ptr<tMappingWindow> window = kept.lock();
    if (!window) {
        window = make();
        kept = window;
    }
    return window;
}

} // namespace

tMappingWindow::tMappingWindow(const char* title, int w, int h, const std::string& text)
    : mBuffer(std::make_unique<Fl_Text_Buffer>()) {
    Fl_Group* outer = Fl_Group::current();
    Fl_Group::current(nullptr);
    mWindow = std::make_unique<Fl_Window>(w, h);
    mWindow->copy_label(title);
    tSkin::StyleWindow(*mWindow);
    // The small picture, clear of the field's label under it.
    new tArtBox(15, 2, 85, 30, DrawLogo);
    auto* caption = new Fl_Box(0, 19, w + 1, 13, "Midi controller mapping");
    tSkin::StyleLabel(*caption, 12, true);
    caption->labelcolor(tSkin::Gold());
    auto* dismiss = new Fl_Button(w - 73, 12, 60, 25, "Dismiss");
    tSkin::StyleButton(*dismiss);
    dismiss->labelsize(13);
    dismiss->callback([](Fl_Widget*, void* self) { static_cast<tMappingWindow*>(self)->Hide(); },
                      this);
    mBuffer->text(text.c_str());
    mOutput = new tMappingText(5, 47, w - 9, h - 52, "output:");
    mOutput->align(FL_ALIGN_TOP_LEFT);
    mOutput->labelsize(10);
    mOutput->labelcolor(tSkin::DimText());
    mOutput->box(FL_DOWN_BOX);
    mOutput->color(tSkin::Field());
    mOutput->textcolor(tSkin::Text());
    mOutput->textfont(FL_COURIER);
    mOutput->textsize(10); // the widest row fits beside the scroll bar
    mWindow->end();
    mWindow->resizable(mOutput);
    tUiScale::ScaleWindow(*mWindow);
    // Given its text once its font size is final: the display measures its lines then.
    mOutput->buffer(mBuffer.get());
    Fl_Group::current(outer);
}

tMappingWindow::~tMappingWindow() {
    mWindow->hide();
    mOutput->buffer(nullptr);
}

void tMappingWindow::Show() {
    mWindow->show();
}

void tMappingWindow::Hide() {
    mWindow->hide();
}

bool tMappingWindow::IsShown() const {
    return mWindow->shown() != 0 && mWindow->visible() != 0;
}

std::string tMappingWindow::Text() const {
    char* text = mBuffer->text();
    std::string copy = text != nullptr ? text : "";
    std::free(text);
    return copy;
}

bool tMappingWindow::LastLineShown() const {
    return static_cast<const tMappingText*>(mOutput)->LastLineShown();
}

std::string StringMappingText() {
    return Table("String Synth-function", {
                                              {"11", "Energy Dissipation:  frequency"},
                                              {"12", "Energy Dissipation:  filter order"},
                                              {"13", "Energy Dissipation:  feedback"},
                                              {"14", "Energy Dissipation:  softdamp"},
                                              {"2", "Random filter:       frequency"},
                                              {"15", "Additional wave:     wave ampl"},
                                              {"16", "Additional wave:     wave type"},
                                              {"Pitch bender", "Output filter:       frequency"},
                                              {"17", "Output filter:       frequency"},
                                              {"18", "Output filter:       resonance"},
                                              {"19", "Output filter:       type"},
                                              {"20", "Output filter:       order"},
                                              {"7", "Output & note ctrl:  volume"},
                                              {"21", "Output & note ctrl:  attack"},
                                              {"1", "Output & note ctrl:  LFO amplitude"},
                                              {"22", "Filter Envelope:     env mode"},
                                              {"23", "Filter Envelope:     env ampl"},
                                              {"24", "Filter Envelope:     env speed"},
                                              {"25", "Filter Envelope:     env sustain"},
                                              {"26", "Filter Envelope:     env release"},
                                          });
}

std::string FluteMappingText() {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"11", Flute("Oszillator:", "frequency")},
        {"Pitch bender", Flute("Oszillator:", "embro size")},
        {"12", Flute("Oszillator:", "embro size")},
        {"13", Flute("Oszillator:", "bore scale")},
        {"14", Flute("Oszillator:", "feed emb")},
        {"15", Flute("Oszillator:", "feed bore")},
        {"16", Flute("Breath:", "amplitude")},
        {"17", Flute("Breath:", "attack")},
        {"18", Flute("Breath:", "attack amp")},
        {"2 and 19", Flute("Pressure:", "pressure")},
        {"20", Flute("Pressure:", "attack")},
        {"21", Flute("Pressure:", "tremolo freq")},
        {"1", Flute("Pressure:", "amplitude")},
        {"22", Flute("Output Filter:", "frequency")},
        {"23", Flute("Output Filter:", "resonance")},
        {"24", Flute("Output Filter:", "type")},
    };
    std::vector<tRow> table;
    for (const auto& row : rows) table.push_back({row.first.c_str(), row.second.c_str()});
    return Table("Flute Synth-function", table);
}

std::shared_ptr<tMappingWindow> StringMappingWindow() {
    static std::weak_ptr<tMappingWindow> kept;
    return Shared(kept, [] {
        return std::make_shared<tMappingWindow>("String Synth Midi Controller Mapping", 424, 347,
                                                StringMappingText());
    });
}

std::shared_ptr<tMappingWindow> FluteMappingWindow() {
    static std::weak_ptr<tMappingWindow> kept;
    return Shared(kept, [] {
        return std::make_shared<tMappingWindow>("Flute Synth Midi Controller Mapping", 424, 297,
                                                FluteMappingText());
    });
}
