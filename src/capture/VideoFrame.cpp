#include "capture/VideoFrame.h"

Picture opaqueBlackPixels(int width, int height)
{
    if (width < 1 || height < 1)
        return {};
    QByteArray pixels(qsizetype(width) * height * 4, '\0');
    uchar *bytes = reinterpret_cast<uchar *>(pixels.data());
    for (qsizetype i = 3; i < pixels.size(); i += 4)
        bytes[i] = 255;
    return Picture(std::move(pixels));
}
