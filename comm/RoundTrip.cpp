#include "RoundTrip.h"

#include <cmath>

void TRoundTrip::Add(double sampleMs) {
    const double sample = sampleMs > 0 ? sampleMs : 0;
    if (FSamples == 0) {
        FSmoothed = sample;
        FVariation = sample / 2;
    } else {
        FVariation = 0.75 * FVariation + 0.25 * std::fabs(FSmoothed - sample);
        FSmoothed = 0.875 * FSmoothed + 0.125 * sample;
    }
    ++FSamples;
}
