#include "ui/QmlRegistration.h"

#include "ui/QmlChannelsModel.h"
#include "ui/QmlTypes.h"

// Generated from QmlTypes.h by the type registrar of the "Vireon" module.
void qml_register_types_Vireon();

namespace {

template<typename T>
T *keptByCpp(T *instance)
{
    QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
    return instance;
}

} // namespace

ApplicationManager *AppManagerForeign::create(QQmlEngine *, QJSEngine *)
{
    return keptByCpp(manager);
}

// The host sets the manager's model before it loads a document.
InputChannelsModel *ChannelsModelForeign::create(QQmlEngine *, QJSEngine *)
{
    InputChannelsModel *model = AppManagerForeign::manager ? AppManagerForeign::manager->channelsModel() : nullptr;
    return model ? keptByCpp(model) : nullptr;
}

// Creating them starts nothing: the server listens and updates are checked only when asked.
UpdateManager *UpdateManagerForeign::create(QQmlEngine *, QJSEngine *)
{
    return keptByCpp(UpdateManager::instance());
}

RemoteControlServer *RemoteServerForeign::create(QQmlEngine *, QJSEngine *)
{
    return keptByCpp(RemoteControlServer::instance());
}

void registerVireonQmlTypes(ApplicationManager *manager)
{
    AppManagerForeign::manager = manager;
    // The update manager's texts follow the interface language.
    static QMetaObject::Connection languageLink;
    QObject::disconnect(languageLink);
    if (manager) {
        UpdateManager::instance()->setLanguage(manager->currentLanguage());
        languageLink = QObject::connect(manager, &ApplicationManager::currentLanguageChanged, UpdateManager::instance(),
                                        [manager] { UpdateManager::instance()->setLanguage(manager->currentLanguage()); });
    }
    // The live video items show the manager's sources.
    VideoStreamItem::setSourceLookup([manager](int channelId) {
        return manager ? manager->sourceForChannel(channelId) : nullptr;
    });
    // Registering is idempotent, so every test case may call this.
    static const bool registered = [] {
        qml_register_types_Vireon();
        return true;
    }();
    Q_UNUSED(registered);
}
