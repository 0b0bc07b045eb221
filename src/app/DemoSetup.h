// The --demo routing: the built-in devices on all four channels, so a machine without
// cameras or microphones exercises every part of a take and of its timeline.
#pragma once

class ApplicationManager;

namespace DemoSetup {

// Channel N gets "Test Pattern N" (1920x1080, 30 fps) and the "Test Tone", separate audio
// recording on, and its audio linked to camera N.
void apply(ApplicationManager &manager);

} // namespace DemoSetup
