#include "app/RecordingProblems.h"

#include "recording/TakeRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

// The file as the operator knows it: its name, the folder is named separately.
QString fileName(const QString &path)
{
    return QFileInfo(path).fileName();
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

} // namespace

namespace RecordingProblems {

LocalisedText untranslated(const QString &text)
{
    return {text, text};
}

QString sizeText(qint64 bytes)
{
    const double value = double(qMax<qint64>(0, bytes));
    if (value >= 1e9)
        return QStringLiteral("%1 GB").arg(value / 1e9, 0, 'f', 1);
    if (value >= 1e6)
        return QStringLiteral("%1 MB").arg(qRound64(value / 1e6));
    return QStringLiteral("%1 KB").arg(qRound64(value / 1e3));
}

QString durationText(qint64 seconds)
{
    seconds = qMax<qint64>(0, seconds);
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(seconds);
    const qint64 minutes = seconds / 60;
    if (minutes < 60)
        return QStringLiteral("%1 min").arg(minutes);
    return QStringLiteral("%1 h %2 min").arg(minutes / 60).arg(minutes % 60);
}

bool isDiskFullError(const QString &error)
{
    return error.contains(QLatin1String("No space left"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("File too large"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("quota"), Qt::CaseInsensitive)
        || error.contains(QLatin1String("disk full"), Qt::CaseInsensitive);
}

LocalisedText takeFolderNotCreated(const QString &folder, const QString &reason)
{
    return {
        QStringLiteral("The take did not start: the folder %1 could not be created (%2). Choose a recording "
                       "folder you can write to in Settings → RECORDING, then press REC ALL again.")
            .arg(native(folder), reason),
        QStringLiteral("Snimanje nije počelo: folder %1 nije mogao da se napravi (%2). Izaberite folder za "
                       "snimanje u koji može da se upisuje (Podešavanja → RECORDING), pa ponovo pritisnite REC ALL.")
            .arg(native(folder), reason),
    };
}

LocalisedText nothingOpened(const QString &folder, const QString &reason)
{
    return {
        QStringLiteral("The take did not start: no file could be opened in %1 (%2). Check that the recording "
                       "folder is writable and the disk not full, then press REC ALL again.")
            .arg(native(folder), reason),
        QStringLiteral("Snimanje nije počelo: nijedan fajl nije mogao da se otvori u %1 (%2). Proverite da li "
                       "se u folder za snimanje može upisivati i da disk nije pun, pa ponovo pritisnite REC ALL.")
            .arg(native(folder), reason),
    };
}

LocalisedText tooLittleSpaceToStart(const QString &folder, qint64 freeBytes, qint64 minimumBytes)
{
    return {
        QStringLiteral("The take did not start: only %1 is free on the disk of %2, and a take needs at least %3. "
                       "Free some space or choose another recording folder in Settings → RECORDING.")
            .arg(sizeText(freeBytes), native(folder), sizeText(minimumBytes)),
        QStringLiteral("Snimanje nije počelo: na disku foldera %2 slobodno je samo %1, a za snimanje treba "
                       "najmanje %3. Oslobodite prostor ili izaberite drugi folder za snimanje (Podešavanja → RECORDING).")
            .arg(sizeText(freeBytes), native(folder), sizeText(minimumBytes)),
    };
}

LocalisedText tooLittleTimeToStart(const QString &folder, qint64 freeBytes, qint64 seconds)
{
    return {
        QStringLiteral("The take did not start: the %1 free on the disk of %2 last only about %3 at the current "
                       "settings. Free some space, choose another recording folder or lower the bitrate, then "
                       "press REC ALL again.")
            .arg(sizeText(freeBytes), native(folder), durationText(seconds)),
        QStringLiteral("Snimanje nije počelo: slobodnih %1 na disku foldera %2 dovoljno je za samo oko %3 snimanja "
                       "sa trenutnim podešavanjima. Oslobodite prostor, izaberite drugi folder ili smanjite "
                       "bitrate, pa ponovo pritisnite REC ALL.")
            .arg(sizeText(freeBytes), native(folder), durationText(seconds)),
    };
}

LocalisedText writeFailed(const TakeFailure &failure, const QString &filePath, const QString &takeFolder)
{
    const QString name = fileName(filePath);
    QString whatEn, whatSr;
    switch (failure.file) {
    case TakeFailure::File::Camera:
        whatEn = QStringLiteral("the video file of camera %1 (%2)").arg(failure.channelId).arg(name);
        whatSr = QStringLiteral("video fajl kamere %1 (%2)").arg(failure.channelId).arg(name);
        break;
    case TakeFailure::File::MasterAudio:
        whatEn = QStringLiteral("the master audio file (%1)").arg(name);
        whatSr = QStringLiteral("glavni audio fajl (%1)").arg(name);
        break;
    case TakeFailure::File::ChannelAudio:
        whatEn = QStringLiteral("the audio file of channel %1 (%2)").arg(failure.channelId).arg(name);
        whatSr = QStringLiteral("audio fajl kanala %1 (%2)").arg(failure.channelId).arg(name);
        break;
    case TakeFailure::File::OtherAudio:
    case TakeFailure::File::None:
        whatEn = QStringLiteral("an audio file of the take");
        whatSr = QStringLiteral("audio fajl snimka");
        break;
    }
    const QString folder = native(takeFolder);
    if (isDiskFullError(failure.error)) {
        return {
            QStringLiteral("The disk is full: %1 could not be written. The take was stopped and everything "
                           "recorded up to that moment is saved in %2. Free some space or choose another "
                           "recording folder before the next take.")
                .arg(whatEn, folder),
            QStringLiteral("Disk je pun: %1 nije mogao da se upiše. Snimanje je zaustavljeno, a sve snimljeno do "
                           "tog trenutka sačuvano je u %2. Oslobodite prostor ili izaberite drugi folder za "
                           "snimanje pre sledećeg snimka.")
                .arg(whatSr, folder),
        };
    }
    return {
        QStringLiteral("%1 could not be written (%2). The take was stopped and everything recorded up to that "
                       "moment is saved in %3. Check the disk and the recording folder, then start a new take.")
            .arg(capitalised(whatEn), failure.error, folder),
        QStringLiteral("%1 nije mogao da se upiše (%2). Snimanje je zaustavljeno, a sve snimljeno do tog trenutka "
                       "sačuvano je u %3. Proverite disk i folder za snimanje, pa pokrenite novi snimak.")
            .arg(capitalised(whatSr), failure.error, folder),
    };
}

LocalisedText reserveReached(const QString &folder, qint64 freeBytes)
{
    return {
        QStringLiteral("The disk of %1 is almost full (%2 left): the take was stopped by itself so that every "
                       "file and the timeline could be finished, and everything recorded up to that moment is "
                       "saved. Free some space or choose another recording folder before the next take.")
            .arg(native(folder), sizeText(freeBytes)),
        QStringLiteral("Disk foldera %1 je skoro pun (ostalo %2): snimanje je samo zaustavljeno da bi svi fajlovi "
                       "i timeline mogli da se završe, i sve snimljeno do tog trenutka je sačuvano. Oslobodite "
                       "prostor ili izaberite drugi folder pre sledećeg snimka.")
            .arg(native(folder), sizeText(freeBytes)),
    };
}

LocalisedText runningOutOfSpace(const QString &folder, qint64 seconds)
{
    return {
        QStringLiteral("Disk almost full: about %1 of recording left on the disk of %2. The take stops by itself "
                       "before the disk is full.")
            .arg(durationText(seconds), native(folder)),
        QStringLiteral("Disk je skoro pun: ostalo je oko %1 snimanja na disku foldera %2. Snimanje će se samo "
                       "zaustaviti pre nego što se disk napuni.")
            .arg(durationText(seconds), native(folder)),
    };
}

LocalisedText audioInputsLost(const QList<int> &channels)
{
    if (channels.isEmpty())
        return {};
    QStringList ids;
    for (int id : channels)
        ids.append(QString::number(id));
    const QString list = ids.join(QStringLiteral(", "));
    if (channels.size() == 1)
        return {
            QStringLiteral("Microphone lost on channel %1: the take goes on, its track records silence until the "
                           "microphone is back (it reconnects by itself).").arg(list),
            QStringLiteral("Mikrofon na kanalu %1 je izgubljen: snimanje se nastavlja, njegov snimak beleži tišinu "
                           "dok se mikrofon ne vrati (sam se ponovo povezuje).").arg(list),
        };
    return {
        QStringLiteral("Microphones lost on channels %1: the take goes on, their tracks record silence until the "
                       "microphones are back (they reconnect by themselves).").arg(list),
        QStringLiteral("Mikrofoni na kanalima %1 su izgubljeni: snimanje se nastavlja, njihovi snimci beleže tišinu "
                       "dok se mikrofoni ne vrate (sami se ponovo povezuju).").arg(list),
    };
}

LocalisedText timelineNotWritten(const QString &failures, const QString &takeFolder)
{
    return {
        QStringLiteral("Timeline not written: %1. The recordings themselves are complete in %2 and can be brought "
                       "into your editor by hand; free some space before the next take.")
            .arg(failures, native(takeFolder)),
        QStringLiteral("Timeline nije upisan: %1. Sami snimci su kompletni u %2 i mogu se ručno uvesti u program "
                       "za montažu; oslobodite prostor pre sledećeg snimka.")
            .arg(failures, native(takeFolder)),
    };
}

} // namespace RecordingProblems
