// Measuring a recorded file as it is on disk, the way an editor's import reads it (through
// libavformat): how long it really is, and the timecode it starts at. Used to rebuild the
// timelines of a take that ended in a crash, whose files end wherever writing stopped.
// A video file is sought to its end (reading only its fragments' headers), or read through
// when it cannot be; any thread.
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

struct RecordedFileMeasure
{
    QString error;        // empty when the file opened and has a picture or a sound stream
    bool hasVideo = false;
    int width = 0;        // video: the picture's size
    int height = 0;
    double seconds = 0.0; // video: up to the end of its last picture; audio: as its header says
    qint64 audioFrames = 0; // sample frames of an audio-only file
    int sampleRate = 0;
    QString timecode;     // the video's start timecode, when the file carries one
    std::optional<qint64> timeReferenceSamples; // a Broadcast WAV file's time reference
};

RecordedFileMeasure measureRecordedFile(const QString &path);
