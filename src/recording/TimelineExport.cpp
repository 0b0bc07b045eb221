#include "recording/TimelineExport.h"

#include "recording/FcpxmlWriter.h"
#include "recording/FileSync.h"
#include "recording/OtioWriter.h"
#include "recording/TimelineModelBuilder.h"
#include "recording/XmemlWriter.h"

#include <QSaveFile>

#include <functional>

namespace {

// Writes one document through a temporary file in the target's folder, renamed into place
// only once it is complete and on disk. Unbuffered, so a full disk fails the write that met
// it instead of a flush hidden inside commit().
bool writeDocument(const QString &path, QByteArray document, QString *errorText)
{
#if defined(Q_OS_WIN)
    document.replace("\n", "\r\n"); // the platform's text line ending
#endif
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        *errorText = file.errorString();
        return false;
    }
    qint64 written = 0;
    while (written < document.size()) {
        const qint64 n = file.write(document.constData() + written, document.size() - written);
        if (n <= 0) {
            *errorText = file.errorString();
            file.cancelWriting();
            return false;
        }
        written += n;
    }
    if (!syncFileToDisk(file.handle(), errorText)) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) { // renames over the target; removes the temporary file on failure
        *errorText = file.errorString();
        return false;
    }
    return true;
}

} // namespace

bool timelineHasRecordedFiles(const TimelineExportInput &input)
{
    return !input.videoPaths.empty() || !input.masterWavPath.isEmpty();
}

QList<TimelineFormat> timelineFormats()
{
    return {TimelineFormat::Xmeml, TimelineFormat::Fcpxml, TimelineFormat::Otio};
}

QByteArray buildTimelineDocument(const TimelineModel &model, TimelineFormat format, TimelineLayout layout)
{
    switch (format) {
    case TimelineFormat::Fcpxml: return writeFcpxmlDocument(model, layout);
    case TimelineFormat::Otio: return writeOtioDocument(model, layout);
    case TimelineFormat::Xmeml: break;
    }
    return writeXmemlDocument(model, layout);
}

QByteArray buildXmemlDocument(const TimelineExportInput &input, TimelineLayout layout)
{
    return writeXmemlDocument(buildTimelineModel(input), layout);
}

namespace {

using OutputPath = std::function<QString(TimelineLayout, TimelineFormat)>;

bool writeEveryDocument(const TimelineModel &model, const OutputPath &outputPath, QList<TimelineFileWrite> *results)
{
    bool allWritten = true;
    for (const TimelineFormat format : timelineFormats()) {
        for (const TimelineLayout layout : {TimelineLayout::ProgrammeCut, TimelineLayout::AllAngles}) {
            TimelineFileWrite result{layout, format, outputPath(layout, format), {}};
            if (result.path.isEmpty())
                result.error = QStringLiteral("no take folder to write the timeline into");
            else if (!writeDocument(result.path, buildTimelineDocument(model, format, layout), &result.error)
                     && result.error.isEmpty())
                result.error = QStringLiteral("the file could not be written");
            allWritten = allWritten && result.error.isEmpty();
            if (results)
                results->append(result);
        }
    }
    return allWritten;
}

} // namespace

bool writeTimeline(const TimelineExportInput &input, QList<TimelineFileWrite> *results)
{
    return writeEveryDocument(buildTimelineModel(input), [&](TimelineLayout layout, TimelineFormat format) {
        return timelineOutputPath(input, layout, format);
    }, results);
}

bool writeTimelineModel(const TimelineModel &model, const QString &folder, const QString &sessionName,
                        const QString &takeName, QList<TimelineFileWrite> *results)
{
    return writeEveryDocument(model, [&](TimelineLayout layout, TimelineFormat format) {
        return folder.isEmpty() ? QString() : folder + QLatin1Char('/') + timelineFileName(sessionName, takeName, layout, format);
    }, results);
}
