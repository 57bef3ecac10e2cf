#pragma once
// The run as it was before it became a value: computed and drawn in one go on
// the program-wide buffer, the first plot's buffer copied for the zoom and
// the readout, the last taken over. Kept here only as the yardstick that the
// run as a value (model/RunEcho.h with model/PlotScene.h) is measured
// against; no zoom and no held reference, as at start-up.

#include "display/Picture.h"
#include "display/PictureSettings.h"
#include "model/ModelParameters.h"

namespace sonavir::legacy {

// One Start of the main window: the picture drawn as before.
void Start(const ModelParameters& params, const PictureSettings& settings, Picture& picture, int modelItem,
           int pathStage);

}  // namespace sonavir::legacy
