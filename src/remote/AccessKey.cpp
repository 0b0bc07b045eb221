#include "remote/AccessKey.h"

#include "remote/HttpRequestParser.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>

namespace AccessKey {

QString generate()
{
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QByteArray bytes;
    for (const quint32 word : words) {
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes.append(char((word >> shift) & 0xff));
    }
    return QString::fromLatin1(bytes.toHex());
}

bool isWellFormed(const QString &key)
{
    return key.size() == HexDigits && std::all_of(key.cbegin(), key.cend(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
           });
}

bool matches(QByteArrayView presented, QByteArrayView expected)
{
    if (expected.isEmpty())
        return false;
    // Every byte of the expected key is compared, whatever came before; a length that differs
    // only adds to the difference. No early exit anywhere.
    unsigned difference = presented.size() == expected.size() ? 0u : 1u;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const uchar given = i < presented.size() ? uchar(presented[i]) : uchar(0);
        difference |= unsigned(given ^ uchar(expected[i]));
    }
    return difference == 0;
}

QByteArray presentedBy(const HttpRequest &request)
{
    const QByteArray header = request.header("X-Vireon-Key");
    if (!header.isEmpty())
        return header;
    return request.queryValue(QStringLiteral("key")).toUtf8();
}

} // namespace AccessKey
