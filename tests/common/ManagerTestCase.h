// ManagerTestCase: the test object every test that drives a whole ApplicationManager derives
// from. The user settings live in a temporary folder for the whole run (never the tester's
// own), SDL's audio runs from the first test function to the last, and every test function
// gets a fresh manager with its channel model; with a session name its takes go to a fresh
// temporary folder (outputPath()) under that session. A test that needs more in a step
// declares that slot itself and calls the base's first (init) or last (cleanup).
// GUI thread only.
#pragma once

#include <QObject>
#include <QString>
#include <QTemporaryDir>

#include <memory>

class ApplicationManager;
class InputChannelsModel;

class ManagerTestCase : public QObject
{
    Q_OBJECT

public:
    explicit ManagerTestCase(QString sessionName = {}) : m_sessionName(std::move(sessionName)) {}
    ~ManagerTestCase() override;

protected slots:
    // Not test functions (those are private slots): the steps QtTest runs around them.
    void initTestCase();
    void cleanupTestCase();
    void init();
    // Stops a take still running, then deletes the manager, the model and the take folder.
    void cleanup();

protected:
    QString settingsPath() const { return m_settingsDir.path(); }
    QString outputPath() const { return m_output ? m_output->path() : QString(); }
    // Records a take of exactly `ms` milliseconds and returns its folder (empty when none
    // started or it did not finish).
    QString record(int ms);

    ApplicationManager *m_manager = nullptr;
    InputChannelsModel *m_model = nullptr;

private:
    QString m_sessionName;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<QTemporaryDir> m_output;
};
