#pragma once

#include <string>

// A progress bar on standard error, drawn only when standard error is a terminal.
class TProgressBar {
public:
    explicit TProgressBar(int total);
    ~TProgressBar(); // clears the bar

    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    void Show(int done, const std::string& note);

private:
    int FTotal;
    bool FVisible;
    bool FDrawn = false;
};
