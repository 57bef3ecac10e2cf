#pragma once
// Where the tool windows go: beside the main window's picture, not over it,
// where the screen has room. Plain geometry in screen coordinates, so that
// the rule can be checked for any screen; ProgramWindows applies it when a
// tool window is first shown (after that it stays where it is, or where the
// user moved it, for the session).

#include <QPoint>
#include <QRect>
#include <QSize>
#include <vector>

namespace sonavir {

struct PlacementScene {
    QRect screen;     // the screen's available area
    QRect mainFrame;  // the main window with its frame
    QRect picture;    // the picture as shown in it
    QRect waveform;   // the waveform's band of the picture (its upper half)
    std::vector<QRect> taken;  // other tool windows shown, with their frames
    int minPictureHeight = 0;  // > 0: the main window may give up height down to this picture
};

struct ToolPlacement {
    QPoint at;            // the tool window's frame's top-left corner
    int mainHeight = 0;   // > 0: the main window's new frame height
    // How much the place gives up: 0 beside the main window, 1 over the
    // window but not the picture, 2 over the spectrum but not the waveform,
    // 3 over the waveform.
    int tier = 0;
};

inline constexpr int kWindowGap = 8;

// A place for a frame of `size` inside the screen: the lowest tier that has
// one, then the least overlap with the windows taken, then nearest the main
// window's right edge. With `wholePicture` (the evaluation's chart needs all
// of it) a place over the picture is refused where the main window can be
// made lower, within minPictureHeight, to make room below it.
ToolPlacement PlaceToolWindow(const PlacementScene& scene, QSize size, bool wholePicture);

// The main window at start-up: at the top of the screen, and centred together
// with a tool window of `besideSize` to its right when both fit; its size
// held to the screen.
QRect PlaceMainWindow(const QRect& screen, QSize mainSize, QSize besideSize);

}  // namespace sonavir
