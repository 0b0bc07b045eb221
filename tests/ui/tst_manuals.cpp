// The shipped manuals and the help window agree: each manual, read as the program reads it
// and split by the help window's own script, gives the eight numbered topics under the eight
// categories, and the build tree holds the same files beside the executable.
#include <QFile>
#include <QGuiApplication>
#include <QJSValue>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QTest>

#include <memory>

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QStringList kCategories = {
    QStringLiteral("QUICK START"), QStringLiteral("VIDEO & CODECS"), QStringLiteral("BENCHMARK"),
    QStringLiteral("MULTICAM & HOTKEYS"), QStringLiteral("AUDIO & SYNC"), QStringLiteral("XML EXPORT"),
    QStringLiteral("PERFORMANCE"), QStringLiteral("TROUBLESHOOTING")};

} // namespace

class TestManuals : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void manualsFileEveryTopic_data();
    void manualsFileEveryTopic();
    void buildTreeHoldsTheManuals_data();
    void buildTreeHoldsTheManuals();

private:
    QVariantList splitSections(const QString &text);

    QQmlEngine m_engine;
    std::unique_ptr<QObject> m_probe;
};

void TestManuals::initTestCase()
{
    // The window's script, straight from the QML module's resources.
    QQmlComponent component(&m_engine);
    component.setData("import QtQml\n"
                      "import \"ManualSections.js\" as ManualSections\n"
                      "QtObject { function split(text) { return ManualSections.splitSections(text) } }\n",
                      QUrl(QStringLiteral("qrc:/Vireon/ui/qml/Components/ManualProbe.qml")));
    m_probe.reset(component.create());
    QVERIFY2(m_probe, qPrintable(component.errorString()));
}

QVariantList TestManuals::splitSections(const QString &text)
{
    QVariant result;
    if (!QMetaObject::invokeMethod(m_probe.get(), "split", Q_RETURN_ARG(QVariant, result), Q_ARG(QVariant, text)))
        return {};
    return result.value<QJSValue>().toVariant().toList();
}

void TestManuals::manualsFileEveryTopic_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("titleLine");
    QTest::newRow("EN") << "GETTING_STARTED_EN.md" << "# Vireon 2.4.5b - Studio Edition | User Manual";
    QTest::newRow("SR") << "GETTING_STARTED_SR.md" << "# Vireon 2.4.5b - Studio Edition | Uputstvo za upotrebu";
}

void TestManuals::manualsFileEveryTopic()
{
    QFETCH(QString, fileName);
    QFETCH(QString, titleLine);
    const QByteArray bytes = readAll(QStringLiteral(VIREON_MANUALS_SOURCE_DIR "/") + fileName);
    QVERIFY2(!bytes.isEmpty(), qPrintable(fileName));
    const QString text = QString::fromUtf8(bytes);
    QVERIFY2(!text.contains(QChar::ReplacementCharacter), "the manual is not valid UTF-8");
    QCOMPARE(text.section(QLatin1Char('\n'), 0, 0), titleLine);

    const QVariantList sections = splitSections(text);
    QCOMPARE(sections.size(), kCategories.size());
    for (int i = 0; i < sections.size(); ++i) {
        const QVariantMap section = sections.at(i).toMap();
        const QString title = section.value(QStringLiteral("title")).toString();
        QVERIFY2(title.startsWith(QString::number(i + 1) + QStringLiteral(". ")), qPrintable(title));
        QCOMPARE(section.value(QStringLiteral("category")).toString(), kCategories.at(i));
        // A topic with sub-headings, not a heading alone.
        const QString content = section.value(QStringLiteral("content")).toString();
        QVERIFY2(content.contains(QStringLiteral("### ")), qPrintable(title));
        QVERIFY2(content.size() > 400, qPrintable(title));
    }
}

void TestManuals::buildTreeHoldsTheManuals_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("EN") << "GETTING_STARTED_EN.md";
    QTest::newRow("SR") << "GETTING_STARTED_SR.md";
}

void TestManuals::buildTreeHoldsTheManuals()
{
    QFETCH(QString, fileName);
    const QByteArray shipped = readAll(QStringLiteral(VIREON_EXECUTABLE_DIR "/") + fileName);
    QVERIFY2(!shipped.isEmpty(), qPrintable(fileName + QStringLiteral(" is not beside the executable")));
    QCOMPARE(shipped, readAll(QStringLiteral(VIREON_MANUALS_SOURCE_DIR "/") + fileName));
}

QTEST_MAIN(TestManuals)

#include "tst_manuals.moc"
