#include "remote/QrCodeImage.h"

#include <QBuffer>
#include <QPainter>

#include <qrcodegen.hpp>

#include <exception>

namespace QrCodeImage {

QImage render(const QString &text, QString *errorText)
{
    try {
        const QByteArray utf8 = text.toUtf8();
        const qrcodegen::QrCode code = qrcodegen::QrCode::encodeText(utf8.constData(), qrcodegen::QrCode::Ecc::MEDIUM);
        const int modules = code.getSize();
        const int side = modules * ModulePixels + 2 * QuietZonePixels;
        QImage image(side, side, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        for (int y = 0; y < modules; ++y) {
            for (int x = 0; x < modules; ++x) {
                if (code.getModule(x, y))
                    painter.drawRect(x * ModulePixels + QuietZonePixels, y * ModulePixels + QuietZonePixels,
                                     ModulePixels, ModulePixels);
            }
        }
        return image;
    } catch (const std::exception &e) {
        if (errorText)
            *errorText = QString::fromUtf8(e.what());
        return QImage();
    }
}

QString dataUrl(const QString &text, QString *errorText)
{
    const QImage image = render(text, errorText);
    if (image.isNull())
        return QString();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        if (errorText)
            *errorText = QStringLiteral("PNG encoding failed");
        return QString();
    }
    return QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
}

} // namespace QrCodeImage
