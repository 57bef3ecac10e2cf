#pragma once
// The look of the result picture: colour scheme, scale switches and tick
// counts. The settings window edits this state; the plotter and the charts
// read it at the moment they draw.

#include <cstdint>

namespace sonavir {

using TColor = std::uint32_t;  // 0x00BBGGRR
inline constexpr TColor kWhite = 0xFFFFFF;
inline constexpr TColor kBlack = 0x000000;

struct PictureSettings {
    // Colour scheme: item 0 "Белое на черном", item 1 "Черное на белом".
    int colorItem = 0;
    TColor PlotForeColor = kWhite;
    TColor PlotBackColor = kBlack;

    // "Шкала" and the three tick switches with their counts (1 .. 30).
    bool scale = true;
    bool amplitude = true, tc = true, f = true;          // check states
    bool amplitudeBoxEnabled = true, tcBoxEnabled = true, fBoxEnabled = true;
    bool amplitudeSpinEnabled = true, tcSpinEnabled = true, fSpinEnabled = true;
    int amplitudeCount = 4, tcCount = 6, fCount = 6;
    // "Шкала в дБ": the waveform's envelope and the spectrum in decibels of
    // their peaks. It changes the curves themselves, which are drawn with the
    // scale off too, so "Шкала" neither greys nor clears it.
    bool db = false;
    // "Шкала дальности": the time axis of an echo at its true delay labelled
    // in ranges c·t/2, m (records without such a delay keep their times).
    bool rangeAxis = false;

    // The window's two forms: full after a model run, short (colours only)
    // after an evaluation run.
    bool shortForm = false;
    static constexpr int kFullHeight = 267;
    static constexpr int kShortHeight = 155;
    int WindowHeight() const { return shortForm ? kShortHeight : kFullHeight; }

    // Sets the colours from colorItem; any other item leaves them.
    void ApplyColorScheme();
    // ColorRadioGroupClick.
    void SetColorItem(int item);
    // ScaleCheckBoxClick with its cascade onto the three tick boxes.
    void SetScale(bool on);
    // The tick boxes' clicks: each enables or disables its count.
    void SetAmplitude(bool on);
    void SetTc(bool on);
    void SetF(bool on);
    void SetDb(bool on);
    void SetRangeAxis(bool on) { rangeAxis = on; }
    // Counts are kept within 1 .. 30 whatever is typed.
    static int ClampCount(int value);

    bool operator==(const PictureSettings&) const = default;
    // Whether two settings draw the same plots (the settings window's form aside).
    bool DrawsLike(const PictureSettings& other) const;
};

}  // namespace sonavir
