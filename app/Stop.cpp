#include "app/Stop.h"

KESTRO_DEFINE_EXCEPTION(EStopped, Exception);

void ThrowIfStopped(const TStopRequested& stopRequested) {
    if (stopRequested && stopRequested())
        throw EStopped("Stopped");
}
