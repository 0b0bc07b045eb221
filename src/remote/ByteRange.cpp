#include "remote/ByteRange.h"

#include <algorithm>
#include <limits>

namespace ByteRange {

namespace {

// A decimal number of at most 18 digits; -1 when it is none.
qint64 number(const QByteArray &text)
{
    if (text.isEmpty() || text.size() > 18)
        return -1;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
    }
    return text.toLongLong();
}

} // namespace

Selection select(const QByteArray &range, qint64 size)
{
    Selection whole{Kind::Whole, 0, size};
    const QByteArray value = range.trimmed();
    if (value.isNull() || !value.startsWith("bytes="))
        return whole;
    const QByteArray spec = value.mid(6).trimmed();
    const qsizetype dash = spec.indexOf('-');
    if (dash < 0 || spec.contains(','))
        return whole; // not one range: several are allowed to be answered whole
    const QByteArray from = spec.left(dash).trimmed();
    const QByteArray to = spec.mid(dash + 1).trimmed();
    if (from.isEmpty()) {
        const qint64 suffix = number(to);
        if (suffix < 0)
            return whole;
        if (suffix == 0 || size == 0)
            return Selection{Kind::Unsatisfiable, 0, 0};
        const qint64 length = std::min(suffix, size);
        return Selection{Kind::Partial, size - length, length};
    }
    const qint64 first = number(from);
    const qint64 last = to.isEmpty() ? std::numeric_limits<qint64>::max() : number(to);
    if (first < 0 || last < first)
        return whole;
    if (first >= size)
        return Selection{Kind::Unsatisfiable, 0, 0};
    const qint64 end = std::min(last, size - 1);
    return Selection{Kind::Partial, first, end - first + 1};
}

QByteArray contentRange(const Selection &selection, qint64 size)
{
    if (selection.kind == Kind::Unsatisfiable)
        return "bytes */" + QByteArray::number(size);
    return "bytes " + QByteArray::number(selection.first) + '-' + QByteArray::number(selection.first + selection.length - 1)
           + '/' + QByteArray::number(size);
}

} // namespace ByteRange
