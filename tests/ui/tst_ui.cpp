// Runs the Qt Quick Test cases of this folder with the program's back end registered as the
// program registers it, so components under test see AppManager, ChannelsModel,
// UpdateManager, RemoteServer and VideoStreamItem.
#include "app/AppInfo.h"
#include "app/ApplicationManager.h"
#include "models/InputChannelsModel.h"
#include "models/QmlRegistration.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QSettings>
#include <QTemporaryDir>
#include <QtQuickTest>

class UiTestSetup : public QObject
{
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QQuickStyle::setStyle(QStringLiteral("Basic"));
        // As the program names itself: the interface keeps its layout in the settings store.
        QCoreApplication::setOrganizationName(AppInfo::organisationName);
        QCoreApplication::setOrganizationDomain(AppInfo::organisationDomain);
        QCoreApplication::setApplicationName(AppInfo::applicationName);
        // Registered but idle: the server is not started and no update check runs.
        registerVireonQmlTypes(ApplicationManager::instance());
        ApplicationManager::instance()->setChannelsModel(&m_model);
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("ChannelsModel"), &m_model);
    }

    void cleanupTestCase() { ApplicationManager::instance()->shutDown(); }

private:
    QTemporaryDir m_settingsDir;
    InputChannelsModel m_model;
};

QUICK_TEST_MAIN_WITH_SETUP(vireon_ui, UiTestSetup)

#include "tst_ui.moc"
