// libFuzzer target for the remote control's request handling without sockets: every input is
// fed to HttpRequestParser whole and again cut into pieces at positions the input itself
// chooses, and both readings must agree; a complete request then goes through the access
// decision (fetch metadata, access key); and the same bytes, read as a list of operations,
// drive the connection limits and the wrong-key limiter, whose promises are checked after
// each step. Built and run by scripts/fuzz-http.sh, never by the tests.
#include "remote/AccessKey.h"
#include "remote/ConnectionLimits.h"
#include "remote/HostCheck.h"
#include "remote/HttpRequestParser.h"
#include "remote/RequestAccess.h"
#include "remote/WrongKeyLimiter.h"

#include <QHash>
#include <QList>

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

const QByteArray kKey("0123456789abcdef0123456789abcdef");

void checkAccess(const HttpRequest &request, bool keyRequired, bool blocked)
{
    const RequestAccess::Decision decision = RequestAccess::decide(request, {keyRequired, kKey}, blocked);
    const QByteArray presented = AccessKey::presentedBy(request);
    check(AccessKey::matches(presented, kKey) == (presented == kKey));
    // Another site never gets in, whatever key it brings; only the right key opens the door.
    if (!HostCheck::isOwnOrDirectFetch(request))
        check(decision == RequestAccess::Decision::ForeignSite);
    if (decision == RequestAccess::Decision::Allowed && keyRequired)
        check(presented == kKey && !blocked);
    if (decision == RequestAccess::Decision::KeyWrong)
        check(!presented.isEmpty() && presented != kKey);
    if (!keyRequired)
        check(decision == RequestAccess::Decision::Allowed || decision == RequestAccess::Decision::ForeignSite);
}

// Each byte is one step: the low five bits pick one of 32 addresses (or a time step), the top
// three the operation.
void checkLimits(const uint8_t *data, size_t size)
{
    ConnectionLimits limits;
    WrongKeyLimiter wrongKeys;
    QList<QString> admitted;
    QHash<QString, int> wrongKeysSeen;
    qint64 now = 0;
    for (size_t i = 0; i < size; ++i) {
        const QString address = QStringLiteral("10.0.0.%1").arg(data[i] & 0x1f);
        switch (data[i] >> 5) {
        case 0: case 1: case 2: case 3:
            if (limits.tryAdmit(address))
                admitted.append(address);
            break;
        case 4: case 5:
            if (admitted.removeOne(address))
                limits.release(address);
            break;
        case 6:
            if (wrongKeys.recordWrongKey(address, now)) {
                check(wrongKeys.isBlocked(address, now));
                check(!wrongKeys.isBlocked(address, now + WrongKeyLimiter::BlockMs));
            }
            ++wrongKeysSeen[address];
            break;
        default:
            now += qint64(data[i] & 0x1f) * 997;
            break;
        }
        check(limits.total() == admitted.size());
        check(limits.total() <= ConnectionLimits::MaxConnections);
        check(limits.countFor(address) <= ConnectionLimits::MaxPerAddress);
        check(limits.countFor(address) == admitted.count(address));
        check(wrongKeys.trackedAddressCount() <= WrongKeyLimiter::MaxTrackedAddresses);
        if (wrongKeys.isBlocked(address, now)) {
            check(wrongKeysSeen.value(address) >= WrongKeyLimiter::MaxWrongKeys);
            const qint64 until = wrongKeys.blockedUntilMs(address, now);
            check(until > now && until <= now + WrongKeyLimiter::BlockMs);
        }
    }
    for (const QString &address : std::as_const(admitted))
        limits.release(address);
    check(limits.total() == 0);
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
        (void)HostCheck::isSameOrigin(a.header("Origin"), a.header("Host"));
        const bool keyRequired = size > 1 && (data[1] & 1) != 0;
        const bool blocked = size > 1 && (data[1] & 2) != 0;
        checkAccess(a, keyRequired, blocked);
    } else if (wholeState == HttpRequestParser::State::Failed) {
        check(whole.errorStatus() == pieces.errorStatus());
        check(whole.errorStatus() == 400 || whole.errorStatus() == 413 || whole.errorStatus() == 501);
    }
    checkLimits(data, std::min<size_t>(size, 4096));
    return 0;
}
