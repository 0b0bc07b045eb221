#include "capture/DirectShowCaptureDevice.h"

#include "common/MonotonicClock.h"
#include "platform/windows/DirectShowDevices.h"

#include <QDebug>

#include <objbase.h>

namespace {

// The listings need a COM apartment on the calling thread and do not make one. The GUI
// thread normally has Qt's (single-threaded, for OLE); a headless run has none, so join a
// single-threaded one, which Qt's later OLE start-up accepts as well.
void ensureComApartment()
{
    thread_local bool joined = false;
    if (joined)
        return;
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    // RPC_E_CHANGED_MODE: the thread is already in the multithreaded apartment, also fine.
    joined = SUCCEEDED(result) || result == RPC_E_CHANGED_MODE;
}

} // namespace

QList<DeviceInfo> listDirectShowCameras()
{
    ensureComApartment();
    std::string error;
    QList<DeviceInfo> devices;
    for (const DirectShowDevice &device : ::listDirectShowDevices(&error))
        devices.append(DeviceInfo{QString::fromStdWString(device.friendlyName),
                                  QString::fromStdWString(device.devicePath), QString()});
    if (!error.empty())
        qWarning().noquote() << "[CameraCapture] Cannot list cameras:" << QString::fromStdString(error);
    return devices;
}

QList<CameraFormat> listDirectShowCameraFormats(const QString &deviceKey)
{
    ensureComApartment();
    std::string error;
    QList<CameraFormat> formats;
    for (const DirectShowFormat &format : ::listDirectShowFormats(deviceKey.toStdWString(), &error)) {
        CameraFormat record;
        record.capsIndex = format.capsIndex;
        record.width = format.width;
        record.height = format.height;
        record.fpsNumerator = format.fpsNumerator;
        record.fpsDenominator = format.fpsDenominator;
        // A FOURCC subtype carries its code in the first field (YUY2, MJPG); RGB24 and the
        // other uncompressed types have a distinct value there too, which is all de-duplication
        // needs.
        record.subtype = quint32(format.subtype.Data1);
        record.subtypeName = QString::fromStdString(format.subtypeName);
        formats.append(record);
    }
    if (!error.empty())
        qWarning().noquote() << "[CameraCapture] Cannot list formats of" << deviceKey << ":"
                             << QString::fromStdString(error);
    return formats;
}

DirectShowCaptureDevice::DirectShowCaptureDevice(const QString &deviceKey)
    : m_deviceKey(deviceKey)
{
}

DirectShowCaptureDevice::~DirectShowCaptureDevice()
{
    stop();
}

bool DirectShowCaptureDevice::open(const CameraFormat &format)
{
    if (!m_capture.open(m_deviceKey.toStdWString(), format.capsIndex, format.width, format.height)) {
        qWarning().noquote() << "[CameraCapture]" << QString::fromStdString(m_capture.lastError());
        return false;
    }
    return true;
}

CaptureGeometry DirectShowCaptureDevice::geometry() const
{
    const DirectShowPicture picture = m_capture.picture();
    CaptureGeometry geometry;
    geometry.width = picture.width;
    geometry.height = picture.height;
    geometry.topDown = picture.topDown;
    switch (picture.layout) {
    case DirectShowLayout::Yuy2:
        geometry.pixelFormat = CapturePixelFormat::Yuyv;
        geometry.rowStride = (qsizetype(picture.width) * 2 + 3) & ~qsizetype(3); // rows of whole DWORDs
        break;
    case DirectShowLayout::Nv12:
        geometry.pixelFormat = CapturePixelFormat::Nv12;
        geometry.rowStride = picture.width;
        break;
    case DirectShowLayout::I420:
        geometry.pixelFormat = CapturePixelFormat::Yu12;
        geometry.rowStride = picture.width;
        break;
    case DirectShowLayout::Mjpeg:
        geometry.pixelFormat = CapturePixelFormat::Mjpeg;
        break;
    case DirectShowLayout::H264:
        geometry.pixelFormat = CapturePixelFormat::H264;
        break;
    case DirectShowLayout::Rgb24:
    case DirectShowLayout::Other:
        // RGB24 rows are padded to four bytes; the sample length tells the stride.
        geometry.pixelFormat = CapturePixelFormat::Bgr24;
        geometry.rowStride = 0;
        break;
    }
    // Webcams' YUV is BT.601 in limited range; JPEG and H.264 pictures say their own.
    return geometry;
}

bool DirectShowCaptureDevice::start(DeliverFunction deliver)
{
    const bool running = m_capture.run([deliver = std::move(deliver)](const BYTE *data, long length) {
        deliver(CapturedSample{data, qsizetype(length), monotonicNowNs(), false});
    });
    if (!running)
        qWarning().noquote() << "[CameraCapture]" << QString::fromStdString(m_capture.lastError());
    return running;
}

void DirectShowCaptureDevice::stop()
{
    m_capture.stop();
}

QString DirectShowCaptureDevice::lastError() const
{
    return QString::fromStdString(m_capture.lastError());
}

void DirectShowCaptureDevice::showPropertyPage()
{
    m_capture.showPropertyPage();
}
