#include "models/QmlRegistration.h"

#include "app/ApplicationManager.h"
#include "models/SettingsFrameRates.h"
#include "models/VideoStreamItem.h"
#include "remote/RemoteControlServer.h"
#include "update/UpdateManager.h"

#include <QQmlEngine>

void registerVireonQmlTypes(ApplicationManager *manager)
{
    qmlRegisterType<VideoStreamItem>("Vireon", 1, 0, "VideoStreamItem");
    qmlRegisterSingletonType<SettingsFrameRates>("Vireon", 1, 0, "SettingsFrameRates",
                                                 [](QQmlEngine *, QJSEngine *) -> QObject * {
                                                     return new SettingsFrameRates;
                                                 });
    qmlRegisterSingletonInstance("Vireon", 1, 0, "AppManager", manager);
    // Registering starts nothing: the server listens and updates are checked only when asked.
    qmlRegisterSingletonInstance("Vireon", 1, 0, "UpdateManager", UpdateManager::instance());
    qmlRegisterSingletonInstance("Vireon", 1, 0, "RemoteServer", RemoteControlServer::instance());
}
