#pragma once

// The round trip to a device server, smoothed as TCP keeps it (RFC 6298): every sample moves
// the smoothed value by an eighth of its difference and the variation by a quarter. A wait for
// an answer across the network gives the smoothed value plus four times the variation, as TCP
// bounds its retransmissions, so that jitter and an estimate still settling do not end a wait
// early.
class TRoundTrip {
public:
    void Add(double sampleMs);
    void Clear() { *this = TRoundTrip(); }

    bool Known() const { return FSamples > 0; }
    int Samples() const { return FSamples; }
    double SmoothedMs() const { return FSmoothed; }
    double VariationMs() const { return FVariation; }
    // What a wait for one answer allows for the network: 0 while nothing was measured.
    double BoundMs() const { return FSmoothed + 4 * FVariation; }

private:
    int FSamples = 0;
    double FSmoothed = 0;
    double FVariation = 0;
};
