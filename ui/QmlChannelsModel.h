// The channels model in the QML module "Vireon" as the singleton ChannelsModel, so qmllint and
// the documents know its properties and calls. It hands out the manager's model (the one
// registerVireonQmlTypes was given a manager for), kept owned by C++.
#pragma once

#include "models/InputChannelsModel.h"

#include <QJSEngine>
#include <QtQml/qqml.h>

class QQmlEngine;

struct ChannelsModelForeign
{
    Q_GADGET
    QML_FOREIGN(InputChannelsModel)
    QML_NAMED_ELEMENT(ChannelsModel)
    QML_SINGLETON

public:
    static InputChannelsModel *create(QQmlEngine *, QJSEngine *);
};
