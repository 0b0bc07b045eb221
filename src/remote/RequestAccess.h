// RequestAccess: whether a request may use a route that reads or changes the recorder (the
// JSON API and the preview stream; the page itself and unknown paths are open to all).
//
// In this order: a request that a browser marks as coming from another site is refused (403),
// whatever key it carries; with the access key switched off everything else is let in; an
// address that guessed too often is refused (429); then the key decides: none (401, not a
// guess) or a wrong one (401, counted by the caller towards the 429).
//
// Pure; the caller supplies the limiter's verdict and does the counting.
#pragma once

#include <QByteArray>

struct HttpRequest;

namespace RequestAccess {

enum class Decision {
    Allowed,
    ForeignSite, // 403
    Blocked,     // 429
    KeyMissing,  // 401
    KeyWrong,    // 401, and one more wrong key for this address
};

struct Policy
{
    bool keyRequired = true;
    QByteArray key; // the installation's key; with keyRequired, an empty key lets no one in
};

Decision decide(const HttpRequest &request, const Policy &policy, bool addressBlocked);

} // namespace RequestAccess
