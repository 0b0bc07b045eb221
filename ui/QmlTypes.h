// The back end's names in the QML module "Vireon", declared for the type registrar so the
// module's type information describes them: the live video item and the three singletons. The
// classes live in the core and interface libraries; these wrappers only name them for QML.
// The singletons hand out the program's one instance of each, never a copy, and keep it owned
// by C++ (an engine that goes away must not delete the manager).
#pragma once

#include "app/ApplicationManager.h"
#include "models/VideoStreamItem.h"
#include "remote/RemoteControlServer.h"
#include "update/UpdateManager.h"

#include <QJSEngine>
#include <QtQml/qqmlregistration.h>

class QQmlEngine;

struct VideoStreamItemForeign
{
    Q_GADGET
    QML_FOREIGN(VideoStreamItem)
    QML_NAMED_ELEMENT(VideoStreamItem)
};

struct AppManagerForeign
{
    Q_GADGET
    QML_FOREIGN(ApplicationManager)
    QML_NAMED_ELEMENT(AppManager)
    QML_SINGLETON

public:
    static ApplicationManager *create(QQmlEngine *, QJSEngine *);
    // The manager registerVireonQmlTypes was given; the program's only one.
    static inline ApplicationManager *manager = nullptr;
};

struct UpdateManagerForeign
{
    Q_GADGET
    QML_FOREIGN(UpdateManager)
    QML_NAMED_ELEMENT(UpdateManager)
    QML_SINGLETON

public:
    static UpdateManager *create(QQmlEngine *, QJSEngine *);
};

// The studio of linked recorders the manager owns (AppManager.studio); never made in QML.
struct StudioSessionForeign
{
    Q_GADGET
    QML_FOREIGN(StudioSession)
    QML_NAMED_ELEMENT(StudioSession)
    QML_UNCREATABLE("The studio belongs to the manager: AppManager.studio")
};

struct RemoteServerForeign
{
    Q_GADGET
    QML_FOREIGN(RemoteControlServer)
    QML_NAMED_ELEMENT(RemoteServer)
    QML_SINGLETON

public:
    static RemoteControlServer *create(QQmlEngine *, QJSEngine *);
};
