#pragma once
// The result picture as an object of the main window: whether it follows the
// window's size or has a fixed size, what the size window's apply does, what a
// resize of the main window does, and the file-name rule of saving. The main
// window and the size window only forward their events here.

#include <string>

#include "display/Picture.h"
#include "display/PictureSettings.h"

namespace sonavir {

// Sizes a picture may have; the size window and the command line refuse
// anything else before any change is made. The smallest is where the default
// picture still shows both plots with every frame, tick and label, and the
// charts their legend inside the frame: at 360 pixels the default run's time
// labels (0,00346 is 44 pixels wide) stay apart, at 264 the amplitude labels
// of both plots (14-pixel cells, five of them over a quarter and a half of
// H - 150) do, whatever the last bit of the spectrum's scale. A smaller
// picture area in auto size gets a picture of the smallest size, of which it
// shows what fits; the plots and charts draw a smaller bitmap as the top-left
// part of one of that size.
inline constexpr int kMinPictureWidth = 360;
inline constexpr int kMinPictureHeight = 264;
inline constexpr int kMaxPictureSide = 20000;

// The picture's size as a scenario keeps it: following the main window, or
// fixed in pixels.
struct PictureSizeChoice {
    bool autoSize = true;
    int width = Picture::kDefaultWidth;   // when fixed
    int height = Picture::kDefaultHeight;
    bool operator==(const PictureSizeChoice&) const = default;
};

// A fixed size the size window accepts; otherwise its message.
void CheckPictureSize(int width, int height);

// A size as the command line and scenario files write it: "WIDTHxHEIGHT", or
// "auto" where AUTO is allowed. A text of another shape throws "ожидается
// ШИРИНАxВЫСОТА, получено 'T'" (with "auto или" where allowed), a size the
// size window would refuse its message.
PictureSizeChoice PictureSizeText(const std::string& text, bool autoAllowed);

class PictureSizing {
public:
    // ImageAutoSize of the main window: a resize of the window refills the
    // picture at the control's size.
    bool ImageAutoSize = true;
    // AutoSizeChanged of the size window: the check box has been clicked
    // since the last apply that switched auto size on.
    bool AutoSizeChanged = false;

    // Counts the applies and resizes that gave the picture a new size or
    // refilled it: what was drawn in it is then gone or out of place.
    unsigned pictureChanges = 0;

    // The size window's controls.
    bool autoSizeChecked = true;         // ImageSizeCheckBox "Авторазмер"
    std::string horizText = "2000";      // HorizEdit
    std::string vertText = "2000";       // VertEdit
    bool SizeGroupEnabled() const { return !autoSizeChecked; }

    // The picture control: aligned to fill the area below the toolbar, or at
    // its top-left corner with a fixed size.
    bool aligned = true;
    int fixedWidth = Picture::kDefaultWidth;
    int fixedHeight = Picture::kDefaultHeight;
    int ControlWidth(int areaWidth) const { return aligned ? areaWidth : fixedWidth; }
    int ControlHeight(int areaHeight) const { return aligned ? areaHeight : fixedHeight; }

    // The size window is shown: the edits take the bitmap's real size.
    void Show(const Picture& picture);
    // ImageSizeCheckBoxClick.
    void SetAutoSizeChecked(bool on);
    // CloseSpeedButtonClick of the size window. With a fixed size both edits
    // are checked first, so a refused apply changes nothing at all.
    void Apply(Picture& picture, int areaWidth, int areaHeight, TColor back);
    // The main window's size changed: in auto size the picture takes the
    // control's size and is refilled with the background colour.
    void Resize(Picture& picture, int areaWidth, int areaHeight, TColor back);

    // The size in force: auto, or the fixed size of the last apply.
    PictureSizeChoice Choice() const;
    // Takes a chosen size as the size window would: shown, the check box
    // clicked when it differs, the edits typed, then applied.
    void ApplyChoice(const PictureSizeChoice& choice, Picture& picture, int areaWidth, int areaHeight,
                     TColor back);
};

// A whole decimal number as typed into a size edit; otherwise
// "'%s' is not a valid integer value".
int ParseIntegerText(const std::string& text);

// ".bmp" is added only when the name has no dot anywhere, folder included.
std::string WithBmpExtension(const std::string& fileName);

}  // namespace sonavir
