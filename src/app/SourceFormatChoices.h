// SourceFormatChoices: the lists a channel's camera format is chosen from, built in one place
// for the source dialog and the phone page: the camera's sizes, each size's rates with the
// pixel format they come in, and the colour ranges; the common sizes and rates for a camera
// that lists no formats. Pure functions over a camera's format list; any thread.
#pragma once

#include "capture/CameraFormat.h"

#include <QList>
#include <QVariantMap>

namespace SourceFormatChoices {

// {resolutions: [{label: "1920x1080 (1080p FHD)", width, height,
//                 frameRates: [{label: "30.00 fps (MJPEG)", fps, formatName}]}],
//  colorRanges: [{label: "Default (Auto)", value: "Default"}, ...]}
// Sizes in the camera's order, each once; a size's rates in the camera's order, each rate and
// pixel format once. A camera without formats gets the common sizes, each with the common
// rates and no pixel format.
QVariantMap choicesFor(const QList<CameraFormat> &formats);

// Where a channel's camera sits in those lists: {resolution, frameRate, colorRange} indices,
// the first entry where nothing matches (the rate nearest `fps` within 0.2 fps, the entry of
// `formatName` first among equally near ones).
QVariantMap positionsIn(const QVariantMap &choices, int width, int height, double fps,
                        const QString &formatName, const QString &colorRange);

} // namespace SourceFormatChoices
