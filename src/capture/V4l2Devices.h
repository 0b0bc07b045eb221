// V4l2Devices: the V4L2 capture devices of this machine and the formats each offers, read
// through libv4l2. Called on the GUI thread; each call opens a node briefly and closes it.
#pragma once

#include "capture/CameraFormat.h"

#include <QList>
#include <QString>

// Nodes with V4L2_CAP_VIDEO_CAPTURE in node-number order; key as v4l2DeviceKey() chooses,
// name = the card name of VIDIOC_QUERYCAP.
QList<DeviceInfo> listV4l2Devices();

// Every native (not libv4l-emulated) pixel format with its sizes and frame intervals, in the
// driver's order (not yet de-duplicated or sorted). Empty when the key is not a video node.
QList<CameraFormat> listV4l2Formats(const QString &deviceKey);

// Opens a key's video node for this layer: refuses keys that do not resolve to /dev/videoN,
// never blocks. Returns the libv4l2 descriptor, or -1 with *error set.
int openV4l2Device(const QString &deviceKey, QString *error);

// libv4l2's ioctl on a descriptor of openV4l2Device(), retried while a signal interrupts it,
// as every V4L2 program must.
int v4l2Ioctl(int fd, unsigned long request, void *argument);
