#include "ManagerFixture.h"

#include "app/ApplicationManager.h"
#include "models/InputChannelsModel.h"

#include <QSettings>

#include <SDL.h>

ManagerFixture::~ManagerFixture()
{
    destroyManager();
}

bool ManagerFixture::startTestCase()
{
    if (!m_settingsDir.isValid())
        return false;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    return SDL_Init(SDL_INIT_AUDIO) == 0;
}

void ManagerFixture::endTestCase()
{
    SDL_Quit();
}

void ManagerFixture::createManager(const QString &sessionName)
{
    destroyManager();
    manager = new ApplicationManager;
    model = new InputChannelsModel;
    manager->setChannelsModel(model);
    if (!sessionName.isEmpty()) {
        m_output = std::make_unique<QTemporaryDir>();
        manager->setRecordingPath(m_output->path());
        manager->setActiveSessionName(sessionName);
    }
}

void ManagerFixture::destroyManager()
{
    if (manager) {
        if (manager->isRecording())
            manager->stopRecording();
        manager->setChannelsModel(nullptr);
    }
    delete manager;
    manager = nullptr;
    delete model;
    model = nullptr;
    m_output.reset();
}
