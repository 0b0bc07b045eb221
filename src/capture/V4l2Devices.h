// V4l2Devices: the V4L2 capture devices of this machine and the formats each offers, read
// through a V4l2Kernel (the system's, or a simulation). Called on the GUI thread; each call
// opens a node briefly and closes it.
#pragma once

#include "capture/CameraFormat.h"

#include <QList>
#include <QString>

class V4l2Kernel;

// Capture nodes in node-number order; key as v4l2DeviceKey() chooses, name = the card name
// of VIDIOC_QUERYCAP. A node that cannot be opened is listed with the reason
// (DeviceInfo::unavailableReason) under a name made from its link; nodes without
// V4L2_CAP_VIDEO_CAPTURE (a camera's metadata node) are left out.
QList<DeviceInfo> listV4l2Devices(V4l2Kernel &kernel);

// Every native (not libv4l-emulated) pixel format with its sizes and frame intervals, in the
// driver's order (not yet de-duplicated or sorted). Empty when the key is not a video node.
QList<CameraFormat> listV4l2Formats(V4l2Kernel &kernel, const QString &deviceKey);

// Opens a key's video node for this layer: refuses keys that do not resolve to /dev/videoN,
// never blocks. Returns the descriptor, or -1 with *error set to a sentence for the user and
// *errorNumber (when given) to the errno of the failure.
int openV4l2Device(V4l2Kernel &kernel, const QString &deviceKey, QString *error, int *errorNumber = nullptr);

// The capabilities of the node itself (device_caps), not of the whole physical device.
quint32 v4l2NodeCapabilities(quint32 capabilities, quint32 deviceCaps);
