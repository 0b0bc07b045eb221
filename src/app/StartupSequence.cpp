#include "app/StartupSequence.h"

#include "app/ApplicationManager.h"

#include <QDebug>
#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QWindow>

namespace Startup {

void logRootObjectLoad(QObject *object, const QUrl &url)
{
    if (object)
        qDebug() << "QQmlApplicationEngine loaded root object for:" << url;
    else
        qCritical() << "QQmlApplicationEngine failed to create root object for:" << url;
}

} // namespace Startup

SplashToMainSwitch::SplashToMainSwitch(QQmlApplicationEngine *engine, ApplicationManager *manager,
                                       QUrl mainUrl, QObject *parent)
    : QObject(parent)
    , m_engine(engine)
    , m_manager(manager)
    , m_mainUrl(std::move(mainUrl))
{
    connect(manager, &ApplicationManager::splashStatusTextChanged,
            this, &SplashToMainSwitch::onSplashStatusTextChanged);
}

void SplashToMainSwitch::onSplashStatusTextChanged()
{
    // The main window is loaded once, whatever else announces the status again.
    if (m_manager->splashStatusText() != QLatin1String("DONE") || !m_engine || m_mainLoadCount > 0)
        return;

    const QList<QObject *> splashObjects = m_engine->rootObjects();
    m_engine->load(m_mainUrl);
    ++m_mainLoadCount;

    for (QObject *object : splashObjects) {
        if (auto *window = qobject_cast<QWindow *>(object))
            window->close();
        object->deleteLater();
    }
    QGuiApplication::setQuitOnLastWindowClosed(true);

    if (m_afterMainLoaded)
        m_afterMainLoaded();
}
