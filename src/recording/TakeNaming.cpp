#include "recording/TakeNaming.h"

#include "recording/Timecode.h"

#include <QDir>

namespace TakeNaming {

QString datedSessionName(const QDate &date)
{
    return QStringLiteral("Session_") + date.toString(QStringLiteral("yyyy-MM-dd"));
}

QString sessionFolderName(const QString &sessionName, const QDateTime &now)
{
    QString name = sessionName.trimmed();
    if (name.isEmpty() || name == QLatin1String("SESSION_001_ACTIVE"))
        return QStringLiteral("Session_") + now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss"));

    static const QString kIllegal = QStringLiteral("/\\:*?\"<>|");
    for (QChar &c : name) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || kIllegal.contains(c))
            c = QLatin1Char('_');
    }
    if (name.count(QLatin1Char('.')) == name.size())
        name = QStringLiteral("_");
    return name;
}

int nextTakeNumber(const QString &sessionFolderPath)
{
    const QStringList takes = QDir(sessionFolderPath)
                                  .entryList({QStringLiteral("Take_*")}, QDir::Dirs | QDir::NoDotAndDotDot);
    int largest = 0;
    for (const QString &take : takes) {
        bool ok = false;
        const int number = take.mid(5).toInt(&ok, 10);
        if (ok)
            largest = std::max(largest, number);
    }
    return largest + 1;
}

QString takeFolderName(int takeNumber)
{
    return QStringLiteral("Take_%1").arg(takeNumber, 2, 10, QLatin1Char('0'));
}

QString cameraFilePath(const QString &takeFolder, int channelId, RecordingContainer container)
{
    return QStringLiteral("%1/Camera_%2").arg(takeFolder).arg(channelId, 2, 10, QLatin1Char('0'))
           + containerExtension(container);
}

QString channelAudioFilePath(const QString &takeFolder, int channelId)
{
    return QStringLiteral("%1/Channel_%2_Audio.wav").arg(takeFolder).arg(channelId, 2, 10, QLatin1Char('0'));
}

QString masterAudioFilePath(const QString &takeFolder)
{
    return takeFolder + QStringLiteral("/Master_Audio_Output.wav");
}

QString timecodeText(qint64 elapsedMs, FrameRate rate)
{
    const qint64 ms = std::max<qint64>(0, elapsedMs);
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return QStringLiteral("%1:%2:%3:%4")
        .arg(two(ms / 3600000), two((ms % 3600000) / 60000), two((ms % 60000) / 1000),
             two((ms % 1000) * rate.timebase() / 1000));
}

QString startTimecodeText(const QTime &timeOfDay, FrameRate rate)
{
    return Timecode::startTimecode(timeOfDay, rate);
}

} // namespace TakeNaming
