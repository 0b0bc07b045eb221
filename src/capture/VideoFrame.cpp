#include "capture/VideoFrame.h"

#include <cstring>

Picture blackPicture(int width, int height)
{
    if (width < 1 || height < 1)
        return {};
    constexpr char kBlackLuma = 16;
    constexpr char kNeutralChroma = char(128);
    const qsizetype luma = qsizetype(width) * height;
    QByteArray bytes(Picture::tightSize(PixelFormat::Yuv420p, width, height), kNeutralChroma);
    std::memset(bytes.data(), kBlackLuma, size_t(luma));
    return Picture::fromBytes(std::move(bytes), PixelFormat::Yuv420p, width, height);
}

QByteArray opaqueBlackRgba(int width, int height)
{
    if (width < 1 || height < 1)
        return {};
    QByteArray pixels(qsizetype(width) * height * 4, '\0');
    uchar *bytes = reinterpret_cast<uchar *>(pixels.data());
    for (qsizetype i = 3; i < pixels.size(); i += 4)
        bytes[i] = 255;
    return pixels;
}
