#pragma once
// The plot axes of the default run: N = 512, Dt = 1/49392 s, Fmax = 12348 Hz,
// four samples per period.
#include "display/Plotter.h"

namespace sonavir::testsupport {

inline PlotAxes DefaultAxes()
{
    PlotAxes axes;
    axes.Dt = 1.0L / 49392;
    axes.Fmax = 12348;
    axes.KofDiscret = 4;
    return axes;
}

}  // namespace sonavir::testsupport
