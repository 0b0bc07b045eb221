// ManagerFixture: what the tests that drive a whole ApplicationManager share. The user
// settings live in a temporary folder for the whole run (never the tester's own), SDL's audio
// runs from the first test function to the last, and every test function gets a fresh manager
// with its channel model, its takes going to a temporary folder of their own.
// GUI thread only, called from the test object's initTestCase/init/cleanup/cleanupTestCase.
#pragma once

#include <QString>
#include <QTemporaryDir>

#include <memory>

class ApplicationManager;
class InputChannelsModel;

class ManagerFixture
{
public:
    ~ManagerFixture();

    // initTestCase(): false when the settings folder or SDL's audio cannot be set up.
    bool startTestCase();
    // cleanupTestCase().
    void endTestCase();
    // init(): a new manager and channel model. With a session name the manager records into a
    // fresh temporary folder (outputPath()) under that session.
    void createManager(const QString &sessionName = {});
    // cleanup(): stops a take still running, then deletes the manager, the model and the
    // take folder.
    void destroyManager();

    QString settingsPath() const { return m_settingsDir.path(); }
    QString outputPath() const { return m_output ? m_output->path() : QString(); }

    ApplicationManager *manager = nullptr;
    InputChannelsModel *model = nullptr;

private:
    QTemporaryDir m_settingsDir;
    std::unique_ptr<QTemporaryDir> m_output;
};
