// PictureFrames: how a Picture and FFmpeg's AVFrame meet, without copying pixels. A decoded
// frame becomes a Picture that holds the frame (the decoder's buffer returns to its pool when
// the last holder lets go); a Picture becomes an AVFrame whose buffer holds the Picture, so an
// encoder can take a picture that is already in its format as it is. Pure functions, any
// thread.
#pragma once

#include "capture/Picture.h"
#include "common/FfmpegPtr.h"

#include <optional>

// The FFmpeg layout of a picture format (AV_PIX_FMT_NONE for the compressed ones).
AVPixelFormat avPixelFormatOf(PixelFormat format);
// The picture format of an FFmpeg layout, and whether its name marks full range (the
// YUVJ formats of JPEG decoders); none for layouts pictures do not keep.
std::optional<PixelFormat> pixelFormatOf(AVPixelFormat format, bool *isFullRange = nullptr);

AVColorSpace avColourSpaceOf(ColourMatrix matrix);
// BT.709 and BT.2020 as labelled; anything else (unlabelled included) is BT.601, what
// decoders assume for camera and JPEG pictures without a label.
ColourMatrix colourMatrixOf(AVColorSpace colourSpace);
// libswscale's SWS_CS_* for a matrix.
int swsColourspaceOf(ColourMatrix matrix);

// A Picture holding the decoded frame; empty when the frame's layout is not one pictures keep.
Picture pictureFromFrame(FramePtr frame, PictureColour colour);
// An AVFrame over the picture's planes that keeps the picture alive until FFmpeg lets go of
// it; null for a compressed or incomplete picture.
FramePtr frameFromPicture(const Picture &picture);
