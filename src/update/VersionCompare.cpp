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
bool isAsciiLetter(QChar c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

} // namespace

Version parse(const QString &text)
{
    QStringView view = QStringView(text).trimmed();
    if (!view.isEmpty() && (view.front() == u'v' || view.front() == u'V'))
        view = view.mid(1);

    Version version;
    qsizetype i = 0;
    while (i < view.size()) {
        if (!isAsciiDigit(view[i])) {
            ++i;
            continue;
        }
        const qsizetype start = i;
        while (i < view.size() && isAsciiDigit(view[i]))
            ++i;
        version.numbers.append(readNumber(view.mid(start, i - start)));
    }
    while (version.numbers.size() < 3)
        version.numbers.append(0);

    qsizetype letters = view.size();
    while (letters > 0 && isAsciiLetter(view[letters - 1]))
        --letters;
    if (letters > 0 && letters < view.size() && isAsciiDigit(view[letters - 1]))
        version.revision = view.mid(letters).toString().toLower();
    return version;
}

bool isNewer(const QString &candidate, const QString &current)
{
    const Version a = parse(candidate);
    const Version b = parse(current);
    const qsizetype count = std::max(a.numbers.size(), b.numbers.size());
    for (qsizetype i = 0; i < count; ++i) {
        const quint64 x = a.numbers.value(i, 0);
        const quint64 y = b.numbers.value(i, 0);
        if (x != y)
            return x > y;
    }
    // An empty revision sorts first; letters compare as text ("b" < "c" < "ca").
    return a.revision > b.revision;
}

} // namespace VersionCompare
