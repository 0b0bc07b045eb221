// Names and version of the program, shared by the entry routine, the command line,
// the windows and the log.
#pragma once

#include <QString>

namespace AppInfo {

inline const QString displayVersion = QStringLiteral(VIREON_DISPLAY_VERSION);
inline const QString organisationName = QStringLiteral("Vireon");
inline const QString organisationDomain = QStringLiteral("vireon.studio");
inline const QString applicationName = QStringLiteral("Vireon");

} // namespace AppInfo
