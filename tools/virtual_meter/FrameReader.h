#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vmeter {

// Cuts the byte stream a meter hears into request frames the way the meters do: bytes before
// a "#" are ignored, a frame runs up to its CR, and a "#" inside a frame starts it over.
class TFrameReader {
public:
    // Longest frame kept; a longer run without a CR is line noise and is dropped.
    static constexpr std::size_t MaxFrameLength = 512;

    // Feeds received bytes; returns the frames completed by them, each from "#" to CR.
    std::vector<std::string> Feed(std::string_view bytes);

private:
    std::string FPending;
    bool FInFrame = false;
};

} // namespace vmeter
