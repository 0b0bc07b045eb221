// The real QML module: the splash window and the main window load without warnings, and
// the switch between them happens once.
#include "common/AppInfo.h"
#include "app/ApplicationManager.h"
#include "app/StartupSequence.h"
#include "models/InputChannelsModel.h"
#include "ui/QmlRegistration.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void splashSwitchesToMainOnce();
    void mainWindowHasItsFrame();
    void cleanupTestCase();

private:
    QTemporaryDir m_settingsDir;
    InputChannelsModel m_model;
    // One engine, as in the program: the AppManager instance may serve only one engine.
    QQmlApplicationEngine *m_engine = nullptr;
};

void TestStartup::initTestCase()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
    QQuickStyle::setStyle(QStringLiteral("Basic"));
    // As the program names itself: the interface keeps its layout in the settings store.
    QCoreApplication::setOrganizationName(AppInfo::organisationName);
    QCoreApplication::setOrganizationDomain(AppInfo::organisationDomain);
    QCoreApplication::setApplicationName(AppInfo::applicationName);
    registerVireonQmlTypes(ApplicationManager::instance());
    ApplicationManager::instance()->setChannelsModel(&m_model);
    m_engine = new QQmlApplicationEngine(this);
    m_engine->addImportPath(QStringLiteral("qrc:/"));
}

void TestStartup::init()
{
    // Every test starts with no window, whatever ran before it.
    qDeleteAll(m_engine->rootObjects());
    QCOMPARE(m_engine->rootObjects().size(), 0);
    // Any warning (a broken binding, a missing property, a failed load) fails the test.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

void TestStartup::splashSwitchesToMainOnce()
{
    ApplicationManager *manager = ApplicationManager::instance();
    QQmlApplicationEngine &engine = *m_engine;
    QSignalSpy created(&engine, &QQmlApplicationEngine::objectCreated);

    engine.load(Startup::splashWindowUrl);
    QCOMPARE(engine.rootObjects().size(), 1);
    auto *splash = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    QVERIFY(splash);
    QCOMPARE(splash->size(), QSize(600, 340));
    QVERIFY(splash->flags().testFlag(Qt::FramelessWindowHint));
    QVERIFY(splash->flags().testFlag(Qt::WindowStaysOnTopHint));
    QPointer<QQuickWindow> splashGuard(splash);

    SplashToMainSwitch splashSwitch(&engine, manager);
    int afterMainCalls = 0;
    splashSwitch.setAfterMainLoaded([&] { ++afterMainCalls; });

    manager->runInitialization();
    manager->runInitialization();
    QTRY_COMPARE_WITH_TIMEOUT(splashSwitch.mainLoadCount(), 1, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(splashGuard.isNull(), 2000); // closed and deleted
    QTest::qWait(400);
    QCOMPARE(splashSwitch.mainLoadCount(), 1);
    QCOMPARE(afterMainCalls, 1);
    QCOMPARE(created.count(), 2);
    QVERIFY(created.at(1).at(0).value<QObject *>() != nullptr);
    QCOMPARE(created.at(1).at(1).toUrl(), Startup::mainWindowUrl);
    QVERIFY(QGuiApplication::quitOnLastWindowClosed());

    // A repeated status signal after "DONE" loads nothing more.
    emit manager->splashStatusTextChanged();
    QCOMPARE(splashSwitch.mainLoadCount(), 1);
}

void TestStartup::mainWindowHasItsFrame()
{
    m_engine->load(Startup::mainWindowUrl);
    QCOMPARE(m_engine->rootObjects().size(), 1);
    auto *window = qobject_cast<QQuickWindow *>(m_engine->rootObjects().first());
    QVERIFY(window);
    QCOMPARE(window->title(), QStringLiteral("Vireon Studio 2.4.5b"));
    QCOMPARE(window->size(), QSize(1280, 720));
    QCOMPARE(window->minimumSize(), QSize(1024, 640));
    QVERIFY(window->flags().testFlag(Qt::FramelessWindowHint));
    QCOMPARE(window->color(), QColor(QStringLiteral("#000000")));
}

void TestStartup::cleanupTestCase()
{
    // The windows go before the channel model they show, as in the program.
    delete m_engine;
    m_engine = nullptr;
    ApplicationManager::instance()->setChannelsModel(nullptr);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
