#pragma once

// Processes every pending window message, user input included, and returns when none is left.
// Idle-time action updates do not run inside it.
void ProcessMessages();

// True while ProcessMessages runs.
bool InProcessMessages();
