// The frame rates a take can be recorded at, and the settings window's list of them. Pure
// functions; any thread may call them.
//
// The back end's table (recordingFramerateIndex): 60, 59.94, 50, 30, 29.97, 25, 24, 23.976.
// The settings window's list: 23.976, 24, 25, 29.97, 30, 48, 50, 59.94, 60, 120, Auto.
#pragma once

// The rate at a position of the back end's table; 30 for a position outside it.
double globalFrameRate(int globalIndex);

// The table's index for an entry of the settings window's list; -1 for the entries the table
// lacks (48 fps, 120 fps, "Auto").
int globalFramerateIndexForSettingsEntry(int settingsEntry);
