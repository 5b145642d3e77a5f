#include "gui/Scale.h"

#include <FL/Fl.H>
#include <FL/Fl_Browser_.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Input_.H>
#include <FL/Fl_Menu_.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Tooltip.H>
#include <FL/Fl_Value_Input.H>
#include <FL/Fl_Value_Output.H>
#include <FL/Fl_Value_Slider.H>
#include <FL/Fl_Window.H>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

double gFactor = 1.0;

constexpr int kTooltipSize = 12;
constexpr int kScrollbarSize = 16;

Fl_Fontsize ScaledFont(Fl_Fontsize size) {
    return static_cast<Fl_Fontsize>(tUiScale::Px(size));
}

// Text sizes of the widget kinds that carry one besides their label.
void ScaleText(Fl_Widget& widget) {
    if (auto* input = dynamic_cast<Fl_Input_*>(&widget)) {
        input->textsize(ScaledFont(input->textsize()));
    } else if (auto* menu = dynamic_cast<Fl_Menu_*>(&widget)) {
        menu->textsize(ScaledFont(menu->textsize()));
        // Items whose size was set explicitly; 0 means the menu's text size.
        const int count = menu->size();
        for (int i = 0; i < count; ++i) {
            const Fl_Menu_Item* item = menu->menu() + i;
            if (item->label() != nullptr && item->labelsize() > 0)
                const_cast<Fl_Menu_Item*>(item)->labelsize(ScaledFont(item->labelsize()));
        }
    } else if (auto* slider = dynamic_cast<Fl_Value_Slider*>(&widget)) {
        slider->textsize(ScaledFont(slider->textsize()));
    } else if (auto* value = dynamic_cast<Fl_Value_Input*>(&widget)) {
        value->textsize(ScaledFont(value->textsize()));
    } else if (auto* output = dynamic_cast<Fl_Value_Output*>(&widget)) {
        output->textsize(ScaledFont(output->textsize()));
    } else if (auto* browser = dynamic_cast<Fl_Browser_*>(&widget)) {
        browser->textsize(ScaledFont(browser->textsize()));
    } else if (auto* text = dynamic_cast<Fl_Text_Display*>(&widget)) {
        text->textsize(ScaledFont(text->textsize()));
        // The display measures its lines when it is given its buffer.
        if (Fl_Text_Buffer* buffer = text->buffer()) {
            text->buffer(nullptr);
            text->buffer(buffer);
        }
    }
}

void ScaleTree(Fl_Widget& widget, bool topLevel) {
    const int x = widget.x(), y = widget.y(), w = widget.w(), h = widget.h();
    // Fl_Widget::resize only: a group's own resize would move its children a second time.
    if (topLevel && widget.as_window() != nullptr)
        widget.Fl_Widget::resize(x, y, tUiScale::Px(w), tUiScale::Px(h));
    else
        widget.Fl_Widget::resize(tUiScale::Px(x), tUiScale::Px(y), tUiScale::Width(x, w),
                                 tUiScale::Width(y, h));
    widget.labelsize(ScaledFont(widget.labelsize()));
    ScaleText(widget);
    if (Fl_Group* group = widget.as_group()) {
        for (int i = 0; i < group->children(); ++i) ScaleTree(*group->child(i), false);
        group->init_sizes();
    }
}

} // namespace

namespace tUiScale {

double Factor() {
    return gFactor;
}

void SetFactor(double factor) {
    gFactor = std::clamp(factor, kMinFactor, kMaxFactor);
    Fl_Tooltip::size(ScaledFont(kTooltipSize));
    Fl::scrollbar_size(Px(kScrollbarSize));
}

int Px(double logical) {
    return static_cast<int>(std::lround(logical * gFactor));
}

int ToLogical(int pixels) {
    return static_cast<int>(std::lround(pixels / gFactor));
}

void ScaleWindow(Fl_Window& window) {
    if (gFactor == 1.0) return;
    ScaleTree(window, true);
    // A window positioned before scaling keeps its place; its minimum size grows with it.
}

void ScaleWidget(Fl_Widget& widget) {
    if (gFactor == 1.0) return;
    ScaleTree(widget, false);
}

double ParseFactor(const char* text) {
    if (text == nullptr || *text == '\0') return 0.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text) return 0.0;
    while (*end == ' ') ++end;
    const bool percent = *end == '%';
    if (percent) ++end;
    if (*end != '\0' || !std::isfinite(value)) return 0.0;
    // "150" and "150%" are percentages; "1.5" is a factor.
    if (percent || value >= 10.0) value /= 100.0;
    if (value < kMinFactor || value > kMaxFactor) return 0.0;
    return value;
}

double StartFactor(int rcPercent) {
    const double environment = ParseFactor(std::getenv("KELVORA_SCALE"));
    if (environment > 0.0) return environment;
    return std::clamp(rcPercent / 100.0, kMinFactor, kMaxFactor);
}

} // namespace tUiScale
