// CutJournal: the journal of the running take — one line in the take folder for each switch
// and marker as it happens (CutJournalFormat), so a crash or a power cut never loses the live
// edit: the timelines are rebuilt from it and the files (TakeRecovery).
//
// Threads: open(), the note*() calls and close() run on the GUI thread. Each line is written
// to the file at once, unbuffered, so it survives the program dying; making it survive a power
// cut (fdatasync) can take a moment on a disk busy with video, so that is done by the
// journal's thread "CutJournal", woken through m_mutex/m_wake after every line — the one
// hand-over. close() syncs the last lines and joins the thread.
//
// A line that cannot be written is the journal's failure (lastError()), never the take's: the
// switches stay in the manager's memory and the timelines at stop are written from there.
#pragma once

#include "recording/FrameRate.h"

#include <QFile>
#include <QString>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

// What a take records, as its journal's first lines state it. Files are named relative to the
// take folder.
struct CutJournalTake
{
    QString sessionName;
    QString startTimecode;
    FrameRate rate;
    int width = 1920;
    int height = 1080;
    std::map<int, QString> cameraFiles;       // channel id → file
    // Cameras that joined the running take: channel id → the sequence frame of their first
    // frame (every other file begins with the take).
    std::map<int, qint64> cameraStartFrames;
    QString masterFile;                       // empty: no master track
    std::map<int, QString> channelAudioFiles; // channel id → file
    std::map<int, int> cameraLinks;           // audio channel id → camera channel id (> 0)
};

class CutJournal
{
public:
    CutJournal() = default;
    ~CutJournal();
    CutJournal(const CutJournal &) = delete;
    CutJournal &operator=(const CutJournal &) = delete;

    // Creates the journal in the take folder (replacing one left there) with the take's lines.
    bool open(const QString &takeFolder, const CutJournalTake &take);
    void noteSwitch(qint64 takeMs, int channelId);
    void noteMarker(qint64 takeMs, int number, const QString &name);
    // A camera came on during the take and is recorded into `file` from sequence frame startFrame.
    void noteCameraJoined(qint64 takeMs, int channelId, const QString &file, qint64 startFrame);
    // The take ended after takeMs; nothing follows.
    void noteStop(qint64 takeMs);
    void close();

    bool isOpen() const { return m_file.isOpen(); }
    // Why a line could not be written (or synced); empty while every line reached the disk.
    QString lastError() const;
    QString path() const { return m_file.fileName(); }

private:
    void writeLine(qint64 takeMs, const QString &event);
    void writeText(const QByteArray &line);
    void syncLoop();

    QFile m_file;   // GUI thread only
    int m_handle = -1; // the file's descriptor, set before the thread starts
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_syncDue = false; // Guarded by m_mutex.
    bool m_quit = false;    // Guarded by m_mutex.
    QString m_error;        // Guarded by m_mutex.
};
