#include "gui/MessageBox.h"

#include "gui/Scale.h"
#include "gui/Skin.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <algorithm>
#include <cctype>

namespace {

constexpr int kWidth = 460;
constexpr int kMargin = 16;
constexpr int kIconSize = 36;
constexpr int kTextSize = 13;
constexpr int kButtonWidth = 92;
constexpr int kButtonHeight = 26;
constexpr int kButtonGap = 10;

// The round badge beside the text: "i", "!" or "?".
class tIconBox : public Fl_Box {
public:
    tIconBox(int x, int y, int w, int h, tMessageBox::tIcon icon)
        : Fl_Box(x, y, w, h), mIcon(icon) {}

protected:
    void draw() override {
        const Fl_Color ring =
            mIcon == tMessageBox::kWarning ? fl_rgb_color(220, 110, 60) : tSkin::Amber();
        fl_color(tSkin::Edge());
        fl_pie(x(), y(), w(), h(), 0, 360);
        fl_color(ring);
        fl_pie(x() + 1, y() + 1, w() - 2, h() - 2, 0, 360);
        fl_color(tSkin::Mix(ring, tSkin::Background(), 0.55));
        const int inset = tUiScale::Px(3);
        fl_pie(x() + inset, y() + inset, w() - 2 * inset, h() - 2 * inset, 0, 360);
        const char* mark = mIcon == tMessageBox::kWarning    ? "!"
                           : mIcon == tMessageBox::kQuestion ? "?"
                                                             : "i";
        fl_font(FL_HELVETICA_BOLD, h() * 2 / 3);
        fl_color(tSkin::Gold());
        fl_draw(mark, x(), y(), w(), h(), FL_ALIGN_CENTER);
    }

private:
    tMessageBox::tIcon mIcon;
};

} // namespace

tMessageBox::tMessageBox(const std::string& title, const std::string& text,
                         const std::vector<std::string>& buttons, int defaultButton,
                         int cancelButton, tIcon icon)
    : mTitle(title), mText(text), mLabels(buttons), mCancel(cancelButton), mAnswer(cancelButton) {
    // Laid out at factor 1: the text wraps within its column and sets the height.
    const int textX = kMargin + kIconSize + kMargin;
    const int textW = kWidth - textX - kMargin;
    int measuredW = textW, measuredH = 0;
    fl_font(FL_HELVETICA, kTextSize);
    fl_measure(mText.c_str(), measuredW, measuredH, 0);
    const int textH = std::max(kIconSize, measuredH + 4);
    const int buttonY = kMargin + textH + kMargin;
    const int height = buttonY + kButtonHeight + kMargin;

    Fl_Group* outer = Fl_Group::current();
    Fl_Group::current(nullptr);
    mWindow = std::make_unique<Fl_Window>(kWidth, height);
    mWindow->copy_label(mTitle.c_str());
    tSkin::StyleWindow(*mWindow);
    new tIconBox(kMargin, kMargin, kIconSize, kIconSize, icon);
    auto* message = new Fl_Box(textX, kMargin, textW, textH);
    message->label(mText.c_str());
    message->align(FL_ALIGN_LEFT | FL_ALIGN_TOP | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
    tSkin::StyleLabel(*message, kTextSize);
    const int count = static_cast<int>(mLabels.size());
    int x = kWidth - kMargin - count * kButtonWidth - (count - 1) * kButtonGap;
    for (int i = 0; i < count; ++i) {
        auto* button = new Fl_Button(x, buttonY, kButtonWidth, kButtonHeight);
        button->label(mLabels[i].c_str());
        tSkin::StyleButton(*button);
        button->labelsize(kTextSize);
        if (i == defaultButton) {
            button->labelfont(FL_HELVETICA_BOLD);
            button->shortcut(FL_Enter);
        } else if (!mLabels[i].empty()) {
            button->shortcut(std::tolower(static_cast<unsigned char>(mLabels[i][0])));
        }
        button->callback(Pressed, this);
        mButtons.push_back(button);
        x += kButtonWidth + kButtonGap;
    }
    mWindow->end();
    mWindow->callback(Closed, this);
    mWindow->set_modal();
    tUiScale::ScaleWindow(*mWindow);
    Fl_Group::current(outer);
}

tMessageBox::~tMessageBox() {
    mWindow->hide();
}

int tMessageBox::Run() {
    mAnswer = mCancel;
    mWindow->hotspot(mWindow.get());
    mWindow->show();
    while (mWindow->shown()) Fl::wait();
    return mAnswer;
}

void tMessageBox::Pressed(Fl_Widget* widget, void* data) {
    auto* self = static_cast<tMessageBox*>(data);
    const auto found = std::find(self->mButtons.begin(), self->mButtons.end(), widget);
    if (found != self->mButtons.end())
        self->mAnswer = static_cast<int>(found - self->mButtons.begin());
    self->mWindow->hide();
}

void tMessageBox::Closed(Fl_Widget*, void* data) {
    auto* self = static_cast<tMessageBox*>(data);
    self->mAnswer = self->mCancel;
    self->mWindow->hide();
}

void TellUser(const std::string& message) {
    tMessageBox box("Kelvora", message, {"OK"}, 0, 0, tMessageBox::kWarning);
    box.Run();
}

bool AskReplace(const std::string& path) {
    tMessageBox box("Replace file?", "The file " + path + " exists already.\nReplace it?",
                    {"Cancel", "Replace"}, 1, 0, tMessageBox::kQuestion);
    return box.Run() == 1;
}

int AskSaveChanges(const std::string& what) {
    tMessageBox box("Save changes?",
                    "The rack has changed since it was loaded or saved.\nSave it before " + what +
                        "?",
                    {"Save", "Discard", "Cancel"}, 0, 2, tMessageBox::kQuestion);
    return box.Run();
}
