#pragma once

#include "runtime/Exception.h"

// Exit statuses of kestro.
enum TExitStatus : int {
    ExitAllGood = 0,    // every result good
    ExitSomeFailed = 1, // some meter failed, or the run was interrupted
    ExitUsage = 2,      // the command line was refused
    ExitNoPort = 3,     // the port could not be opened
};

// A command line that cannot be run as written; the message says why.
KESTRO_DECLARE_EXCEPTION(EUsage, Exception);
