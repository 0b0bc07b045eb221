// Runs the Qt Quick Test cases of this folder with the program's back end registered as the
// program registers it, so components under test see AppManager, ChannelsModel,
// UpdateManager, RemoteServer and VideoStreamItem, and the cases that look at the disk get
// TestDisk.
#include "common/AppInfo.h"
#include "app/ApplicationManager.h"
#include "models/InputChannelsModel.h"
#include "ui/QmlRegistration.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QSettings>
#include <QTemporaryDir>
#include <QtQuickTest>
#include <QUrl>

#include <memory>
#include <vector>

// Test-only access to the disk for the cases that follow a take onto it, which QML cannot
// list: scratch folders (removed when the run ends) and the files under a folder. It also
// stands in for the desktop when the interface opens a file URL, so a run never starts a
// file manager or an editor; the URLs are kept for the cases to read.
class TestDisk : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList openedUrls READ openedUrls NOTIFY openedUrlsChanged)

public:
    QStringList openedUrls() const { return m_openedUrls; }

    // A new empty folder; an empty string when none could be made.
    Q_INVOKABLE QString makeScratchFolder()
    {
        auto dir = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vireon_ui_XXXXXX"));
        if (!dir->isValid())
            return QString();
        const QString path = dir->path();
        m_scratch.push_back(std::move(dir));
        return path;
    }

    // The files under folder, as paths relative to it with "/" between parts, sorted.
    Q_INVOKABLE QStringList filesUnder(const QString &folder) const
    {
        QStringList files;
        const QDir root(folder);
        QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            files.append(root.relativeFilePath(it.next()));
        files.sort();
        return files;
    }

    // -1 for a missing file.
    Q_INVOKABLE qint64 fileSize(const QString &path) const
    {
        const QFileInfo info(path);
        return info.isFile() ? info.size() : -1;
    }

    Q_INVOKABLE void clearOpenedUrls()
    {
        m_openedUrls.clear();
        emit openedUrlsChanged();
    }

signals:
    void openedUrlsChanged();

public slots:
    void openUrl(const QUrl &url)
    {
        m_openedUrls.append(url.toString());
        emit openedUrlsChanged();
    }

private:
    std::vector<std::unique_ptr<QTemporaryDir>> m_scratch;
    QStringList m_openedUrls;
};

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
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &m_disk, "openUrl");
    }

    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("TestDisk"), &m_disk);
    }

    void cleanupTestCase()
    {
        ApplicationManager::instance()->shutDown();
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }

private:
    QTemporaryDir m_settingsDir;
    InputChannelsModel m_model;
    TestDisk m_disk;
};

QUICK_TEST_MAIN_WITH_SETUP(vireon_ui, UiTestSetup)

#include "tst_ui.moc"
