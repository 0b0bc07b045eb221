// QrCodeImage: the QR code of the remote-control address as a PNG data URL, for the remote
// control dialog (a phone scans it to open the page). Built with qrcodegen at error-correction
// level MEDIUM; every module is 8 x 8 pixels and the quiet zone two modules wide, so a
// 25-character address (version 2, 25 modules) gives a 232 x 232 picture. Pure functions.
#pragma once

#include <QImage>
#include <QString>

namespace QrCodeImage {

constexpr int ModulePixels = 8;
constexpr int QuietZonePixels = 16;

// The symbol as a white picture with black modules. On failure (text too long for any QR
// version) returns a null image and puts the library's reason in *errorText.
QImage render(const QString &text, QString *errorText = nullptr);

// "data:image/png;base64,..." of render(text); empty on failure (with *errorText set).
QString dataUrl(const QString &text, QString *errorText = nullptr);

} // namespace QrCodeImage
