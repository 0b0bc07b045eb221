// Where the program keeps its own files. Each path is resolved by one function here and
// every user calls that function, so a portable build (files beside the executable) and an
// installed one (read-only program folder) behave the same way.
#pragma once

#include <QString>

namespace AppPaths {

// Folder of the executable; empty until the application object has existed.
QString applicationDirectory();

// True when the program runs from its install location (or any read-only folder): its own
// files then go to the per-user data folder and the manuals come from the data folder.
bool isInstalledLayout();

// Folder for files the program writes about itself (log, performance log): the executable's
// folder, or the per-user application data folder for an installed build.
QString writableDirectory();

// "qt_log.txt" in writableDirectory(); plain "qt_log.txt" (working directory) while no
// application object exists yet.
QString logFilePath();

// "perf_log.csv" beside the log.
QString perfLogFilePath();

// A shipped manual: beside the executable, or in the installed data folder.
QString manualPath(const QString &fileName);

// Root folder of all sessions until the user picks another one.
QString defaultRecordingPath();

} // namespace AppPaths
