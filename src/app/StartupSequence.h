// The window side of start-up: logging each root-object load of the QML engine, and the
// one-time switch from the splash window to the main window once the manager reports
// that initialisation is done. GUI thread only.
#pragma once

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class QQmlApplicationEngine;
class ApplicationManager;

namespace Startup {

inline const QUrl splashWindowUrl{QStringLiteral("qrc:/Vireon/ui/qml/SplashWindow.qml")};
inline const QUrl mainWindowUrl{QStringLiteral("qrc:/Vireon/ui/qml/Main.qml")};

// Connected to QQmlApplicationEngine::objectCreated: logs every load and every failure.
void logRootObjectLoad(QObject *object, const QUrl &url);

} // namespace Startup

class SplashToMainSwitch : public QObject
{
    Q_OBJECT
public:
    SplashToMainSwitch(QQmlApplicationEngine *engine, ApplicationManager *manager,
                       QUrl mainUrl = Startup::mainWindowUrl, QObject *parent = nullptr);

    // Runs right after the main window is loaded (the place for the silent update check).
    void setAfterMainLoaded(std::function<void()> callback) { m_afterMainLoaded = std::move(callback); }

    int mainLoadCount() const { return m_mainLoadCount; }

public slots:
    void onSplashStatusTextChanged();

private:
    QPointer<QQmlApplicationEngine> m_engine;
    ApplicationManager *m_manager;
    QUrl m_mainUrl;
    std::function<void()> m_afterMainLoaded;
    int m_mainLoadCount = 0;
};
