#pragma once

#include <string>

// A progress bar on standard error, drawn only when standard error is a terminal.
class TProgressBar {
public:
    explicit TProgressBar(int total);
    ~TProgressBar() { Clear(); }

    TProgressBar(const TProgressBar&) = delete;
    TProgressBar& operator=(const TProgressBar&) = delete;

    void Show(int done, const std::string& note);
    // Takes the bar off the line, so that other output starts on a clean line; the next Show
    // draws it again.
    void Clear();

private:
    int FTotal;
    bool FVisible;
    bool FDrawn = false;
};
