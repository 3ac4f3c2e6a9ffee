#pragma once

// Ctrl+C, SIGTERM and SIGHUP (on Windows Ctrl+C, Ctrl+Break and closing the console window) ask
// the run to stop: no further request goes to a meter, except "00" that ends the optical head's
// link mode, and the meter under way reports "interrupted". A second one ends the program at
// once and says on standard error that link mode may still be on, when it may.
//
// Installed first thing, so that a signal that came before (held back by the parent's signal
// mask) counts too; a signal the parent set to be ignored (nohup, a background job) stays
// ignored.
void InstallInterruptHandler();
// Whether an ended program may have left a meter in link mode: a run through the optical head.
void WarnOfLinkModeOnAbort(bool warn);
bool InterruptRequested();
