// How the measured figures read to the operator: one place for each threshold, so the status
// bar, the performance monitor, the camera tiles and the phone page all give the same verdict.
// Pure functions.
#pragma once

#include "common/LocalisedText.h"

#include <QString>
#include <QtGlobal>

namespace HealthVerdicts {

// Against the rate every take is recorded at: "good" from 95 % of it, "ok" from 80 %, else
// "low"; "none" without a camera to measure (a rate of 0 there is no failure).
QString rateLevel(double fps, double targetFps, int measuredCameras);

// A camera tile's trouble: "24.3 fps · 12 dropped · 3 repeated", each part only when it says
// something (a measured rate below 95 % of the target, counts above zero); empty for a
// healthy camera.
LocalisedText cameraTrouble(double fps, double targetFps, qint64 dropped, qint64 repeated);

// A take's frames: "dropped" when frames were lost before reaching a file, else "repeated"
// when frame slots had to show the picture before (a camera slower than the take, or lost),
// else "clean": every slot had a picture of its own.
QString frameSyncLevel(qint64 dropped, qint64 repeated);

} // namespace HealthVerdicts
