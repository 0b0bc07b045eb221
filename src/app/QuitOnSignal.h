// Turns SIGINT and SIGTERM into QCoreApplication::quit(), so a terminated program leaves
// through the same path as a closed window and a running take is finalised.
//
// The signal handler only writes one byte to a socket pair (async-signal-safe); a
// QSocketNotifier on the GUI thread reads it and quits the event loop.
#pragma once

#include <QObject>

class QSocketNotifier;

class QuitOnSignal : public QObject
{
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject *parent = nullptr);
    ~QuitOnSignal() override;

    // The signal number that ended the loop, 0 while none arrived.
    int receivedSignal() const { return m_receivedSignal; }

private:
    void onSignalByte();

    QSocketNotifier *m_notifier = nullptr;
    int m_receivedSignal = 0;
};
