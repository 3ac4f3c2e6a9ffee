#pragma once

#include <string>

// Receives the progress and result texts of a meter session, in the order they happen. The
// window shows them on its status line; the command line prints them.
class TSessionObserver {
public:
    virtual ~TSessionObserver() = default;
    virtual void SessionStatus(const std::string& text) = 0;
};
