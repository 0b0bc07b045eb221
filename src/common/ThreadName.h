// Names the calling thread, so a debugger, `top -H` and a crash report tell the program's
// threads apart ("enc Camera_01", "v4l2 video0", "Benchmark"). Every thread the program
// starts names itself through this one function, first thing on the thread.
#pragma once

#include <QString>

// Linux keeps at most 15 bytes of a thread's name (a longer one is refused outright, leaving
// the thread unnamed), so the name is cut there, never inside a character. Elsewhere the
// thread keeps the name its runtime gave it.
void nameCurrentThread(const QString &name);
