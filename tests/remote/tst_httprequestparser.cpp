// The request parser on whole, split and malformed input: what the server acts on is decided
// here, so a request must read the same however TCP cuts it, and nothing a client sends may
// make it hold more than the limits.
#include "remote/HttpRequestParser.h"

#include <QTest>

using State = HttpRequestParser::State;


class TestHttpRequestParser : public QObject
{
    Q_OBJECT

private slots:
    void parsesCompleteRequests_data();
    void parsesCompleteRequests();
    void sameResultWhateverTheSplit_data();
    void sameResultWhateverTheSplit();
    void refusesMalformedRequests_data();
    void refusesMalformedRequests();
    void enforcesLimits_data();
    void enforcesLimits();
    void waitsForTheWholeBody();
    void ignoresBytesAfterTheRequest();
    void headersAreFoundInAnyCase();
};

void TestHttpRequestParser::parsesCompleteRequests_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("queryKey");
    QTest::addColumn<QString>("queryValue");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("get status")
        << QByteArray("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1:8080\r\n\r\n")
        << QByteArray("GET") << "/api/status" << "" << "" << QByteArray();
    QTest::newRow("post with query")
        << QByteArray("POST /api/switch?id=3 HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n")
        << QByteArray("POST") << "/api/switch" << "id" << "3" << QByteArray();
    QTest::newRow("json body")
        << QByteArray("POST /api/switch HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 8\r\n\r\n{\"id\":2}")
        << QByteArray("POST") << "/api/switch" << "" << "" << QByteArray("{\"id\":2}");
    QTest::newRow("percent-encoded path and query")
        << QByteArray("GET /api%2Fstatus?deviceLink=vireon%3Atestpattern%3A2 HTTP/1.0\r\n\r\n")
        << QByteArray("GET") << "/api/status" << "deviceLink" << "vireon:testpattern:2" << QByteArray();
    QTest::newRow("utf-8 in the path")
        << QByteArray("GET /%C4%8Dekaj HTTP/1.1\r\n\r\n")
        << QByteArray("GET") << QString::fromUtf8("/čekaj") << "" << "" << QByteArray();
    QTest::newRow("double slash stays a path")
        << QByteArray("GET //api/status HTTP/1.1\r\n\r\n")
        << QByteArray("GET") << "//api/status" << "" << "" << QByteArray();
    QTest::newRow("absolute form")
        << QByteArray("GET http://192.168.1.20:8080/api/record?x=1 HTTP/1.1\r\n\r\n")
        << QByteArray("GET") << "/api/record" << "x" << "1" << QByteArray();
    QTest::newRow("fragment dropped")
        << QByteArray("GET /index.html#top HTTP/1.1\r\n\r\n")
        << QByteArray("GET") << "/index.html" << "" << "" << QByteArray();
    QTest::newRow("options star")
        << QByteArray("OPTIONS * HTTP/1.1\r\n\r\n")
        << QByteArray("OPTIONS") << "*" << "" << "" << QByteArray();
    QTest::newRow("empty header value")
        << QByteArray("GET / HTTP/1.1\r\nX-Empty:\r\nHost:   a  \r\n\r\n")
        << QByteArray("GET") << "/" << "" << "" << QByteArray();
    QTest::newRow("binary body")
        << QByteArray("POST /api/add_source HTTP/1.1\r\nContent-Length: 4\r\n\r\n") + QByteArray("\x00\xff\r\n", 4)
        << QByteArray("POST") << "/api/add_source" << "" << "" << QByteArray("\x00\xff\r\n", 4);
}

void TestHttpRequestParser::parsesCompleteRequests()
{
    QFETCH(QByteArray, raw);
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QString, queryKey);
    QFETCH(QString, queryValue);
    QFETCH(QByteArray, body);

    HttpRequestParser parser;
    QCOMPARE(parser.feed(raw), State::Complete);
    const HttpRequest &request = parser.request();
    QCOMPARE(request.method, method);
    QCOMPARE(request.path, path);
    if (!queryKey.isEmpty())
        QCOMPARE(request.queryValue(queryKey), queryValue);
    QCOMPARE(request.body, body);
}

void TestHttpRequestParser::sameResultWhateverTheSplit_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("post with body")
        << QByteArray("POST /api/add_source?channelId=2 HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/json\r\n"
                      "Content-Length: 27\r\n\r\n{\"deviceLink\":\"a\",\"x\":1234}")
        << int(State::Complete) << QByteArray("{\"deviceLink\":\"a\",\"x\":1234}");
    QTest::newRow("get without body") << QByteArray("GET /api/status HTTP/1.1\r\nHost: localhost\r\n\r\n")
                                      << int(State::Complete) << QByteArray();
    QTest::newRow("garbage line") << QByteArray("HELLO THERE\r\n\r\n") << int(State::Failed) << QByteArray();
}

// Every cut of the request into two pieces, and the request fed byte by byte, give the same
// request as one piece: the server may act only on a whole request.
void TestHttpRequestParser::sameResultWhateverTheSplit()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, state);
    QFETCH(QByteArray, body);

    for (qsizetype cut = 0; cut <= raw.size(); ++cut) {
        HttpRequestParser parser;
        const State first = parser.feed(QByteArrayView(raw).first(cut));
        if (cut < raw.size() && State(state) == State::Complete)
            QVERIFY2(first == State::Incomplete, qPrintable(QStringLiteral("complete after %1 bytes").arg(cut)));
        QCOMPARE(int(parser.feed(QByteArrayView(raw).sliced(cut))), state);
        if (State(state) == State::Complete)
            QCOMPARE(parser.request().body, body);
    }

    HttpRequestParser byteByByte;
    for (char c : raw)
        byteByByte.feed(QByteArrayView(&c, 1));
    QCOMPARE(int(byteByByte.state()), state);
    if (State(state) == State::Complete)
        QCOMPARE(byteByByte.request().body, body);
}

void TestHttpRequestParser::refusesMalformedRequests_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("status");

    QTest::newRow("one word") << QByteArray("GET\r\n\r\n") << 400;
    QTest::newRow("no version") << QByteArray("GET /api/status\r\n\r\n") << 400;
    QTest::newRow("four words") << QByteArray("GET / HTTP/1.1 extra\r\n\r\n") << 400;
    QTest::newRow("double space") << QByteArray("GET  / HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("unknown version") << QByteArray("GET / HTTP/2.0\r\n\r\n") << 400;
    QTest::newRow("binary garbage") << QByteArray("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03\r\n\r\n", 15) << 400;
    QTest::newRow("method with slash") << QByteArray("G/T / HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("relative target") << QByteArray("GET api/status HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("empty request line") << QByteArray("\r\n\r\n") << 400;
    QTest::newRow("header without colon") << QByteArray("GET / HTTP/1.1\r\nHost localhost\r\n\r\n") << 400;
    QTest::newRow("space before colon") << QByteArray("GET / HTTP/1.1\r\nHost : localhost\r\n\r\n") << 400;
    QTest::newRow("folded header") << QByteArray("GET / HTTP/1.1\r\nX-A: 1\r\n  2\r\n\r\n") << 400;
    QTest::newRow("bare LF in a value") << QByteArray("GET / HTTP/1.1\r\nX-A: 1\nX-B: 2\r\n\r\n") << 400;
    QTest::newRow("NUL in the target") << QByteArray("GET /a") + QByteArray(1, '\0') + QByteArray("b HTTP/1.1\r\n\r\n") << 400;
    QTest::newRow("negative length") << QByteArray("POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n") << 400;
    QTest::newRow("length not a number") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 12abc\r\n\r\n") << 400;
    QTest::newRow("conflicting lengths")
        << QByteArray("POST / HTTP/1.1\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd") << 400;
    QTest::newRow("chunked body") << QByteArray("POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n") << 501;
}

void TestHttpRequestParser::refusesMalformedRequests()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, status);

    HttpRequestParser parser;
    QCOMPARE(parser.feed(raw), State::Failed);
    QCOMPARE(parser.errorStatus(), status);
    QVERIFY(!parser.errorText().isEmpty());
    // Once failed, nothing more is taken in.
    QCOMPARE(parser.feed("GET / HTTP/1.1\r\n\r\n"), State::Failed);
}

void TestHttpRequestParser::enforcesLimits_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<int>("state");

    const QByteArray line("GET / HTTP/1.1\r\n");
    const auto headerOf = [&](qsizetype totalHead) {
        // One header line padded so that the block, terminator included, is totalHead bytes.
        const qsizetype padding = totalHead - line.size() - QByteArray("X-Pad: \r\n\r\n").size();
        return line + "X-Pad: " + QByteArray(padding, 'a') + "\r\n\r\n";
    };
    QTest::newRow("header block at the limit") << headerOf(HttpRequestParser::MaxHeaderBytes) << int(State::Complete);
    QTest::newRow("header block one over") << headerOf(HttpRequestParser::MaxHeaderBytes + 1) << int(State::Failed);
    QTest::newRow("endless header line") << line + "X-Pad: " + QByteArray(40'000, 'a') << int(State::Failed);
    QTest::newRow("body at the limit")
        << "POST / HTTP/1.1\r\nContent-Length: " + QByteArray::number(HttpRequestParser::MaxBodyBytes) + "\r\n\r\n"
               + QByteArray(HttpRequestParser::MaxBodyBytes, 'b')
        << int(State::Complete);
    QTest::newRow("body one over announced")
        << "POST / HTTP/1.1\r\nContent-Length: " + QByteArray::number(HttpRequestParser::MaxBodyBytes + 1) + "\r\n\r\n"
        << int(State::Failed);
    QTest::newRow("absurd length") << QByteArray("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n")
                                   << int(State::Failed);
}

void TestHttpRequestParser::enforcesLimits()
{
    QFETCH(QByteArray, raw);
    QFETCH(int, state);

    HttpRequestParser parser;
    QCOMPARE(int(parser.feed(raw)), state);
    if (State(state) == State::Failed)
        QCOMPARE(parser.errorStatus(), 413);
}

void TestHttpRequestParser::waitsForTheWholeBody()
{
    HttpRequestParser parser;
    QCOMPARE(parser.feed("POST /api/switch HTTP/1.1\r\nContent-Length: 8\r\nExpect: 100-continue\r\n\r\n"),
             State::Incomplete);
    QVERIFY(parser.isHeadComplete());
    QCOMPARE(parser.request().header("expect"), QByteArray("100-continue"));
    QCOMPARE(parser.feed("{\"id\""), State::Incomplete);
    QCOMPARE(parser.feed(":2}"), State::Complete);
    QCOMPARE(parser.request().body, QByteArray("{\"id\":2}"));
}

void TestHttpRequestParser::ignoresBytesAfterTheRequest()
{
    // A body longer than its Content-Length, and a second request behind the first: one
    // request per connection, the rest is dropped.
    HttpRequestParser parser;
    QCOMPARE(parser.feed("POST /api/switch HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}GET /api/record HTTP/1.1\r\n\r\n"),
             State::Complete);
    QCOMPARE(parser.request().body, QByteArray("{}"));
    QCOMPARE(parser.request().path, QStringLiteral("/api/switch"));

    // Without Content-Length there is no body, whatever follows.
    HttpRequestParser noLength;
    QCOMPARE(noLength.feed("POST /api/switch HTTP/1.1\r\n\r\n{\"id\":2}"), State::Complete);
    QVERIFY(noLength.request().body.isEmpty());
}

void TestHttpRequestParser::headersAreFoundInAnyCase()
{
    HttpRequestParser parser;
    QCOMPARE(parser.feed("GET / HTTP/1.1\r\nhOsT: Example:8080\r\nOrigin:http://a\r\n\r\n"), State::Complete);
    QCOMPARE(parser.request().header("Host"), QByteArray("Example:8080"));
    QCOMPARE(parser.request().header("ORIGIN"), QByteArray("http://a"));
    QVERIFY(parser.request().header("Referer").isNull());
    QVERIFY(!parser.request().hasHeader("Referer"));
}

QTEST_APPLESS_MAIN(TestHttpRequestParser)
#include "tst_httprequestparser.moc"
