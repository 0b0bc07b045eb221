// libFuzzer target for HttpRequestParser: every input is fed whole and again cut into pieces
// at positions the input itself chooses, and both readings must agree. Built and run by
// scripts/fuzz-http.sh, never by the tests.
#include "remote/HttpRequestParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));

    HttpRequestParser whole;
    const HttpRequestParser::State wholeState = whole.feed(input);

    // The first byte picks the piece length, so the fuzzer explores the splits too.
    const qsizetype step = size > 0 ? 1 + data[0] % 64 : 1;
    HttpRequestParser pieces;
    for (qsizetype at = 0; at < input.size(); at += step)
        pieces.feed(input.sliced(at, std::min(step, input.size() - at)));

    check(pieces.state() == wholeState);
    if (wholeState == HttpRequestParser::State::Complete) {
        const HttpRequest &a = whole.request();
        const HttpRequest &b = pieces.request();
        check(a.method == b.method && a.target == b.target && a.path == b.path && a.body == b.body);
        check(a.headers == b.headers);
        check(a.body.size() <= HttpRequestParser::MaxBodyBytes);
        // Touch everything the server reads.
        (void)a.header("Host");
        (void)a.queryValue(QStringLiteral("id"));
    } else if (wholeState == HttpRequestParser::State::Failed) {
        check(whole.errorStatus() == pieces.errorStatus());
        check(whole.errorStatus() == 400 || whole.errorStatus() == 413 || whole.errorStatus() == 501);
    }
    return 0;
}
