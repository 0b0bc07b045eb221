#include "recording/TimelinePaths.h"

#include <QFileInfo>

namespace {

// A path that can only be a Windows one: a drive path, or a network path in backslashes.
bool isWindowsStylePath(const QString &path)
{
    return isDrivePath(path) || path.startsWith(QLatin1String("\\\\"));
}

#ifdef Q_OS_WIN
constexpr bool slashSlashIsNetworkPath = true;
#else
constexpr bool slashSlashIsNetworkPath = false; // "//home" is "/home" here
#endif

} // namespace

bool isDrivePath(const QString &path)
{
    return path.size() >= 3 && path.at(0).isLetter() && path.at(0).unicode() < 0x80
        && path.at(1) == QLatin1Char(':')
        && (path.at(2) == QLatin1Char('/') || path.at(2) == QLatin1Char('\\'));
}

QString lastPathComponent(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString timelineAbsolutePath(const QString &path)
{
    if (path.isEmpty())
        return {};
    if (isWindowsStylePath(path)) {
        QString windowsPath = path;
        return windowsPath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    }
    QString absolute = QFileInfo(path).absoluteFilePath(); // forward slashes on every platform
    if (!slashSlashIsNetworkPath) {
        while (absolute.startsWith(QLatin1String("//")))
            absolute.remove(0, 1);
    }
    return absolute;
}

QString timelineFileUrl(const QString &absolutePath)
{
    QString path = absolutePath;
    if (isWindowsStylePath(path))
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    // timelineAbsolutePath() keeps a leading "//" only for a network path.
    if (path.startsWith(QLatin1String("//")))
        return QLatin1String("file:") + path; // file://server/share/...
    // "/home/..." already brings the slash that ends the authority; "C:/..." needs one.
    if (path.startsWith(QLatin1Char('/')))
        return QLatin1String("file://localhost") + path;
    return QLatin1String("file://localhost/") + path;
}

QString timelineEncodedFileUrl(const QString &absolutePath)
{
    QString path = absolutePath;
    if (isWindowsStylePath(path))
        path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString host;
    if (path.startsWith(QLatin1String("//"))) { // a network share: its server is the URL's host
        const qsizetype slash = path.indexOf(QLatin1Char('/'), 2);
        host = slash < 0 ? path.mid(2) : path.mid(2, slash - 2);
        path = slash < 0 ? QString() : path.mid(slash);
    } else if (!path.startsWith(QLatin1Char('/'))) {
        path.prepend(QLatin1Char('/')); // "C:/..." becomes "/C:/..."
    }
    QString encoded = QLatin1String("file://") + host;
    static const char hex[] = "0123456789ABCDEF";
    for (const char byte : path.toUtf8()) {
        const uchar c = uchar(byte);
        const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')
            || c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == ':';
        if (kept) {
            encoded += QLatin1Char(char(c));
        } else {
            encoded += QLatin1Char('%');
            encoded += QLatin1Char(hex[c >> 4]);
            encoded += QLatin1Char(hex[c & 0xF]);
        }
    }
    return encoded;
}
