// The back-end names the QML module sees: the live video item and the three singletons
// (AppManager, UpdateManager, RemoteServer), declared in QmlTypes.h. The
// program, the interface tests and the screenshot tool all register through this one function,
// so every component finds what it reads in the running program; it also ties the update
// manager's texts to the interface language. Call it before the first engine loads a document.
#pragma once

class ApplicationManager;

void registerVireonQmlTypes(ApplicationManager *manager);
