#pragma once

// Ctrl+C asks a batch or a scan to stop after the exchange under way, so that an open optical
// head session is still closed. A second Ctrl+C ends the program at once, as usual.
void InstallInterruptHandler();
bool InterruptRequested();
