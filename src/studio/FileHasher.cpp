#include "studio/FileHasher.h"

FileHasher::FileHasher(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &FileHasher::step);
}

void FileHasher::hash(const QString &path)
{
    m_queue.enqueue(path);
    m_timer.start();
}

void FileHasher::step()
{
    if (!m_file.isOpen()) {
        if (m_queue.isEmpty()) {
            m_timer.stop();
            return;
        }
        m_file.setFileName(m_queue.dequeue());
        m_hash.reset();
        if (!m_file.open(QIODevice::ReadOnly)) {
            const QString path = m_file.fileName();
            emit hashed(path, QString(), m_file.errorString());
            return;
        }
    }
    const QByteArray piece = m_file.read(PieceBytes);
    if (!piece.isEmpty()) {
        m_hash.addData(piece);
        return;
    }
    const QString path = m_file.fileName();
    const bool failed = m_file.error() != QFileDevice::NoError;
    const QString error = failed ? m_file.errorString() : QString();
    m_file.close();
    emit hashed(path, failed ? QString() : QString::fromLatin1(m_hash.result().toHex()), error);
}

QString FileHasher::sha256Of(const QString &path, QString *error)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file)) {
        if (error)
            *error = file.errorString();
        return QString();
    }
    return QString::fromLatin1(hash.result().toHex());
}
