// FileHasher: SHA-256 of whole files, read a piece at a time on the event loop, so a
// recorder can check gigabytes of takes without a thread of its own and without stalling
// its recording ticks (one piece is a few milliseconds of work).
//
// Files are hashed one after the other in the order given; hashed() reports each. GUI
// thread; destroying the hasher drops what is still queued.
#pragma once

#include <QCryptographicHash>
#include <QFile>
#include <QObject>
#include <QQueue>
#include <QString>
#include <QTimer>

class FileHasher : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 PieceBytes = 512 * 1024;

    explicit FileHasher(QObject *parent = nullptr);

    void hash(const QString &path);
    bool isBusy() const { return m_file.isOpen() || !m_queue.isEmpty(); }

    // The same, at once, on the calling thread (tests, small files).
    static QString sha256Of(const QString &path, QString *error = nullptr);

signals:
    // `sha256` in lower-case hex; empty with `error` when the file could not be read.
    void hashed(const QString &path, const QString &sha256, const QString &error);

private:
    void step();

    QQueue<QString> m_queue;
    QFile m_file;
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    QTimer m_timer;
};
