// Camera-like pictures for benchmarks: a landscape of smooth gradients and fractal texture
// that drifts slowly, as a camera on a stand sees a scene with a little movement, plus
// per-frame sensor noise. Test patterns compress to almost nothing; these make an encoder and
// an MJPEG decoder work as hard as a real webcam's pictures do.
#pragma once

#include "SimulatedPictures.h"

#include <vector>

// `count` consecutive pictures of the scene; the same seed gives the same pictures.
std::vector<RgbPicture> renderNaturalScene(int width, int height, int count, unsigned seed = 1);
