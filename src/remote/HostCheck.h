// HostCheck: which requests the remote control accepts, so that a web page on another site
// cannot drive the recorder through the visitor's browser.
//
// The Host header must name this server the way a phone or a tool does: an IP address,
// "localhost" or this machine's own host name (a DNS-rebinding attack arrives with the
// attacker's domain there). An Origin header, when present, must be this server's own origin
// ("http://" plus the Host), so a cross-site fetch is refused; the page itself and tools that
// send no Origin pass.
//
// An Origin is not always sent: a picture, a link or a form of another page may reach us
// without one. Browsers mark every request with where it comes from (the Fetch Metadata
// header Sec-Fetch-Site), so a request that carries that mark must say it comes from this very
// origin ("same-origin") or from the user ("none": typed, bookmarked, scanned); "same-site"
// is refused too, since another port of this machine is another program. A request without
// any Sec-Fetch-* header comes from a tool or an older browser and passes. Pure functions.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct HttpRequest;

namespace HostCheck {

// The names besides IP addresses and "localhost" under which this machine is reached: its
// host name, with its domain and with ".local" (mDNS), lower case.
QStringList localHostNames();

// A missing Host (an HTTP/1.0 tool) is accepted: browsers always send one.
bool isAllowedHost(const QByteArray &host, const QStringList &hostNames);

// True when there is no Origin or it is "http://" + host (case-insensitive, port 80 implied).
bool isSameOrigin(const QByteArray &origin, const QByteArray &host);

// True when the request carries no Sec-Fetch-* header at all, or its Sec-Fetch-Site is
// "same-origin" or "none".
bool isOwnOrDirectFetch(const HttpRequest &request);

} // namespace HostCheck
