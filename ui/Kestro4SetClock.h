#pragma once

// The window program: fixes the regional settings and the English messages, creates the main
// window and the configuration dialog, and runs the event loop until the main window closes.
// Returns the event loop's exit code.
int Kestro4SetClock(int argc, char** argv);
