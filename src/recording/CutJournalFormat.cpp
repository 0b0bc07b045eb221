#include "recording/CutJournalFormat.h"

#include <QRegularExpression>

namespace CutJournalFormat {

QString timeText(qint64 ms)
{
    ms = std::max<qint64>(0, ms);
    return QStringLiteral("%1:%2:%3.%4")
        .arg(ms / 3600000, 2, 10, QLatin1Char('0'))
        .arg(ms / 60000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms / 1000 % 60, 2, 10, QLatin1Char('0'))
        .arg(ms % 1000, 3, 10, QLatin1Char('0'));
}

std::optional<qint64> parseTime(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^(\d{2,9}):([0-5]\d):([0-5]\d)\.(\d{3})$)"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return ((m.captured(1).toLongLong() * 60 + m.captured(2).toLongLong()) * 60 + m.captured(3).toLongLong()) * 1000
        + m.captured(4).toLongLong();
}

QString quoted(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += QLatin1String("\\\""); break;
        case u'\\': out += QLatin1String("\\\\"); break;
        case u'\n': out += QLatin1String("\\n"); break;
        case u'\r': out += QLatin1String("\\r"); break;
        case u'\t': out += QLatin1String("\\t"); break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    return out + QLatin1Char('"');
}

std::optional<QStringList> words(const QString &line)
{
    QStringList result;
    qsizetype i = 0;
    while (i < line.size()) {
        if (line.at(i) == QLatin1Char(' ')) {
            ++i;
            continue;
        }
        QString word;
        if (line.at(i) != QLatin1Char('"')) {
            while (i < line.size() && line.at(i) != QLatin1Char(' '))
                word += line.at(i++);
            result.append(word);
            continue;
        }
        ++i; // the opening quote
        bool closed = false;
        while (i < line.size()) {
            const QChar c = line.at(i++);
            if (c == QLatin1Char('"')) {
                closed = true;
                break;
            }
            if (c != QLatin1Char('\\')) {
                word += c;
                continue;
            }
            if (i >= line.size())
                return std::nullopt;
            const QChar e = line.at(i++);
            if (e == QLatin1Char('n'))
                word += QLatin1Char('\n');
            else if (e == QLatin1Char('r'))
                word += QLatin1Char('\r');
            else if (e == QLatin1Char('t'))
                word += QLatin1Char('\t');
            else if (e == QLatin1Char('"') || e == QLatin1Char('\\'))
                word += e;
            else if (e == QLatin1Char('u') && i + 4 <= line.size()) {
                bool ok = false;
                const ushort code = line.mid(i, 4).toUShort(&ok, 16);
                if (!ok)
                    return std::nullopt;
                word += QChar(code);
                i += 4;
            } else {
                return std::nullopt;
            }
        }
        if (!closed)
            return std::nullopt;
        result.append(word);
    }
    return result;
}

} // namespace CutJournalFormat
