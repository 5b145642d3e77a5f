#include "core/Parameter.h"

#include <algorithm>
#include <cmath>

std::string tParameter::Name() const {
    std::string text = control != nullptr && !control->Label().empty() ? control->Label()
                       : name != nullptr                               ? name
                                                                       : key;
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return key;
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

double tParameter::Minimum() const {
    if (control == nullptr) return 0.0;
    return std::min(control->Minimum(), control->Maximum());
}

double tParameter::Maximum() const {
    if (control == nullptr) return 1.0;
    return std::max(control->Minimum(), control->Maximum());
}

double tParameter::Default() const {
    if (role == tParameterRole::kOn) return 1.0;
    if (role == tParameterRole::kBypass) return 0.0;
    return control != nullptr ? control->Initial() : 0.0;
}

bool tParameter::IsToggle() const {
    return control == nullptr || control->Kind() == tControlKind::Switch;
}

bool tParameter::IsChoice() const {
    return control != nullptr && control->Kind() == tControlKind::Choice;
}

double tParameter::Value(bool on) const {
    if (role == tParameterRole::kOn) return on ? 1.0 : 0.0;
    return control != nullptr ? control->Value() : 0.0;
}

void tParameter::Write(double value) const {
    if (control == nullptr || std::isnan(value)) return;
    switch (control->Kind()) {
    case tControlKind::Choice:
        control->Set(std::clamp(std::round(value), 0.0, Maximum()));
        break;
    case tControlKind::Switch:
        control->Set(value > 0.0 ? 1.0 : 0.0);
        break;
    default:
        control->Set(value);
        break;
    }
}
