#include "FrameReader.h"

namespace vmeter {

std::vector<std::string> TFrameReader::Feed(std::string_view bytes) {
    std::vector<std::string> frames;
    for (char c : bytes) {
        if (c == '#') {
            FPending = "#";
            FInFrame = true;
            continue;
        }
        if (!FInFrame)
            continue;
        FPending += c;
        if (c == '\r') {
            frames.push_back(std::move(FPending));
            FPending.clear();
            FInFrame = false;
        } else if (FPending.size() >= MaxFrameLength) {
            FPending.clear();
            FInFrame = false;
        }
    }
    return frames;
}

} // namespace vmeter
