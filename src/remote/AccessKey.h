// AccessKey: the secret that lets a phone in. A random 128-bit value per installation, written
// as 32 lower-case hexadecimal digits; the QR code's link carries it ("/?key=..."), the page
// keeps it and sends it with every request (header X-Vireon-Key, or the query item "key" where
// a header cannot be set, as for the MJPEG picture).
//
// Pure functions, any thread. The comparison takes the same time wherever the first wrong
// digit is, so the answer times tell a guesser nothing about how close a guess came.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

struct HttpRequest;

namespace AccessKey {

inline constexpr int HexDigits = 32;

// A new key from the system's cryptographic random source.
QString generate();

// 32 hexadecimal digits, lower case: what generate() makes and the settings must hold.
bool isWellFormed(const QString &key);

// True when `presented` equals `expected`, in time that depends only on the expected length.
// An empty expected key matches nothing.
bool matches(QByteArrayView presented, QByteArrayView expected);

// The key a request presents: the X-Vireon-Key header when it is not empty, else the query
// item "key"; empty when there is none.
QByteArray presentedBy(const HttpRequest &request);

} // namespace AccessKey
