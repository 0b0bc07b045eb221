#include "ManagerTestCase.h"

#include "app/ApplicationManager.h"
#include "models/InputChannelsModel.h"

#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <SDL.h>

ManagerTestCase::~ManagerTestCase()
{
    cleanup();
}

void ManagerTestCase::initTestCase()
{
    QVERIFY(m_settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QCOMPARE(SDL_Init(SDL_INIT_AUDIO), 0);
}

void ManagerTestCase::cleanupTestCase()
{
    SDL_Quit();
}

void ManagerTestCase::init()
{
    cleanup();
    m_manager = new ApplicationManager;
    m_model = new InputChannelsModel;
    m_manager->setChannelsModel(m_model);
    if (!m_sessionName.isEmpty()) {
        m_output = std::make_unique<QTemporaryDir>();
        m_manager->setRecordingPath(m_output->path());
        m_manager->setActiveSessionName(m_sessionName);
    }
}

void ManagerTestCase::cleanup()
{
    if (m_manager) {
        if (m_manager->isRecording())
            m_manager->stopRecording();
        m_manager->setChannelsModel(nullptr);
    }
    delete m_manager;
    m_manager = nullptr;
    delete m_model;
    m_model = nullptr;
    m_output.reset();
}

QString ManagerTestCase::record(int ms)
{
    QSignalSpy finished(m_manager, &ApplicationManager::takeFinished);
    m_manager->startRecording();
    if (!m_manager->isRecording())
        return QString();
    m_manager->limitTakeLength(ms);
    finished.wait(ms + 20000);
    return finished.isEmpty() ? QString() : finished.first().first().toString();
}
