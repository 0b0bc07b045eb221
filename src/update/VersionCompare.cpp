#include "update/VersionCompare.h"

#include <limits>

namespace VersionCompare {

namespace {

// A run of digits as a number; a run too long for 64 bits saturates instead of being
// dropped, so it cannot shift the positions of the numbers after it.
quint64 readNumber(QStringView digits)
{
    bool ok = false;
    const quint64 value = digits.toULongLong(&ok);
    return ok ? value : std::numeric_limits<quint64>::max();
}

bool isAsciiDigit(QChar c) { return c >= u'0' && c <= u'9'; }

} // namespace

QList<quint64> parse(const QString &text)
{
    QStringView view = QStringView(text).trimmed();
    if (!view.isEmpty() && (view.front() == u'v' || view.front() == u'V'))
        view = view.mid(1);

    QList<quint64> numbers;
    qsizetype i = 0;
    while (i < view.size()) {
        if (!isAsciiDigit(view[i])) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < view.size() && isAsciiDigit(view[i]))
            ++i;
        numbers.append(readNumber(view.mid(start, i - start)));
    }
    while (numbers.size() < 3)
        numbers.append(0);
    return numbers;
}

bool isNewer(const QString &candidate, const QString &current)
{
    const QList<quint64> a = parse(candidate);
    const QList<quint64> b = parse(current);
    const qsizetype count = std::max(a.size(), b.size());
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 x = a.value(i, 0);
        const quint64 y = b.value(i, 0);
        if (x != y)
            return x > y;
    }
    return false;
}

} // namespace VersionCompare
