// ByteRange: the part of a file a download asks for (the Range header), so an interrupted
// copy goes on where it stopped. One range of bytes is served: "bytes=500-", "bytes=500-999"
// and the last n bytes "bytes=-n"; a header that is not one such range is ignored (the whole
// file is sent, which a client must accept), and a range that starts past the end is
// refused (416). Pure.
#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace ByteRange {

enum class Kind { Whole, Partial, Unsatisfiable };

struct Selection
{
    Kind kind = Kind::Whole;
    qint64 first = 0;  // first byte sent
    qint64 length = 0; // bytes sent
};

// What to send of a file of `size` bytes for the header value `range` (null: no header).
Selection select(const QByteArray &range, qint64 size);

// "bytes 500-999/1000" for a partial answer, "bytes */1000" for a refused one.
QByteArray contentRange(const Selection &selection, qint64 size);

} // namespace ByteRange
