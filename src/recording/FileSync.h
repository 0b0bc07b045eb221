// Forcing a file's written bytes onto the disk, so a crash or a power cut cannot keep a
// header (or a renamed timeline) without the data it describes. Used by the WAV writer and
// the timeline files.
#pragma once

#include <QString>

// Syncs the data of the open file `handle` (a descriptor) to disk. A file that cannot be
// synced at all (a pipe or special file) counts as synced. False with the system's reason in
// *error when the data could not be written.
bool syncFileToDisk(int handle, QString *error);
