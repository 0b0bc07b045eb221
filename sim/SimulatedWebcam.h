// The USB webcam that tests and benchmarks plug in, shaped like the common 1080p models:
//   MJPEG 1920x1080 at 30 and 60 fps, MJPEG 1280x720 at 30 fps (listed, but the driver will not
//   set it: asking for it gets YUYV 1280x720 at 10 fps), MJPEG 640x480 at 30 fps, YUYV 1280x720
//   at 10 fps and YUYV 640x480 at 30 fps, raw rows padded by 64 bytes. Listed as "Vireon Sim Webcam N" under
//   /dev/v4l/by-id/usb-Vireon_Sim_Webcam_N-video-index0.
#pragma once

#include "SimulatedCamera.h"

inline SimulatedCameraSpec simulatedWebcam(int number)
{
    SimulatedCameraSpec spec;
    spec.card = QStringLiteral("Vireon Sim Webcam %1").arg(number);
    spec.byIdName = QStringLiteral("usb-Vireon_Sim_Webcam_%1-video-index0").arg(number);
    const SimulatedMode mjpeg1080{V4L2_PIX_FMT_MJPEG, 1920, 1080};
    const SimulatedMode mjpeg720{V4L2_PIX_FMT_MJPEG, 1280, 720};
    const SimulatedMode mjpeg480{V4L2_PIX_FMT_MJPEG, 640, 480};
    const SimulatedMode yuyv720{V4L2_PIX_FMT_YUYV, 1280, 720};
    const SimulatedMode yuyv480{V4L2_PIX_FMT_YUYV, 640, 480};
    spec.modes = {{mjpeg1080, {30, 60}}, {mjpeg720, {30}}, {mjpeg480, {30}}, {yuyv720, {10}}, {yuyv480, {30}}};
    spec.substitutions = {{mjpeg720, yuyv720}};
    spec.rowPadding = 64;
    return spec;
}

// A webcam whose own encoder also sends H.264 (as some UVC models do): H.264 and MJPEG
// 1920x1080 at 30 fps, YUYV 640x480 at 30 fps. Listed as "Vireon Sim H264 Webcam N".
inline SimulatedCameraSpec simulatedH264Webcam(int number)
{
    SimulatedCameraSpec spec = simulatedWebcam(number);
    spec.card = QStringLiteral("Vireon Sim H264 Webcam %1").arg(number);
    spec.byIdName = QStringLiteral("usb-Vireon_Sim_H264_Webcam_%1-video-index0").arg(number);
    spec.modes = {{{V4L2_PIX_FMT_H264, 1920, 1080}, {30}},
                  {{V4L2_PIX_FMT_MJPEG, 1920, 1080}, {30}},
                  {{V4L2_PIX_FMT_YUYV, 640, 480}, {30}}};
    spec.substitutions.clear();
    return spec;
}

// The camera's metadata node (UVC cameras have one beside the picture node).
inline SimulatedCameraSpec simulatedMetadataNode(int number)
{
    SimulatedCameraSpec spec;
    spec.card = QStringLiteral("Vireon Sim Webcam %1").arg(number);
    spec.byIdName = QStringLiteral("usb-Vireon_Sim_Webcam_%1-video-index1").arg(number);
    spec.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
    return spec;
}
