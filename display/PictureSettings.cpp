#include "display/PictureSettings.h"

#include <algorithm>

namespace sonavir {

void PictureSettings::ApplyColorScheme()
{
    switch (colorItem) {
    case 0:
        PlotForeColor = kWhite;
        PlotBackColor = kBlack;
        break;
    case 1:
        PlotForeColor = kBlack;
        PlotBackColor = kWhite;
        break;
    default:
        break;
    }
}

void PictureSettings::SetColorItem(int item)
{
    colorItem = item;
    ApplyColorScheme();
}

// A tick box set to a new state raises its own click, which enables or
// disables its count; set to the state it has, it raises nothing.
void PictureSettings::SetScale(bool on)
{
    scale = on;
    auto setBox = [this](bool& box, void (PictureSettings::*click)(bool), bool state) {
        if (box != state) (this->*click)(state);
    };
    if (on) {
        amplitudeBoxEnabled = tcBoxEnabled = fBoxEnabled = true;
        setBox(amplitude, &PictureSettings::SetAmplitude, true);
        setBox(tc, &PictureSettings::SetTc, true);
        setBox(f, &PictureSettings::SetF, true);
        amplitudeSpinEnabled = tcSpinEnabled = fSpinEnabled = true;
    } else {
        amplitudeSpinEnabled = tcSpinEnabled = fSpinEnabled = false;
        setBox(amplitude, &PictureSettings::SetAmplitude, false);
        setBox(tc, &PictureSettings::SetTc, false);
        setBox(f, &PictureSettings::SetF, false);
        amplitudeBoxEnabled = tcBoxEnabled = fBoxEnabled = false;
    }
}

void PictureSettings::SetAmplitude(bool on)
{
    amplitude = on;
    amplitudeSpinEnabled = on;
}

void PictureSettings::SetTc(bool on)
{
    tc = on;
    tcSpinEnabled = on;
}

void PictureSettings::SetF(bool on)
{
    f = on;
    fSpinEnabled = on;
}

void PictureSettings::SetDb(bool on) { db = on; }

int PictureSettings::ClampCount(int value) { return std::clamp(value, 1, 30); }

bool PictureSettings::DrawsLike(const PictureSettings& other) const
{
    PictureSettings a = *this;
    a.shortForm = other.shortForm;
    return a == other;
}

}  // namespace sonavir
