#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <termios.h>

// The program's end of the line, as the tests drive it: the slave side of the meter's
// pseudo-terminal opened raw at a chosen speed.
class TTestLine {
public:
    explicit TTestLine(const std::string& path, speed_t speed = B9600);
    ~TTestLine();

    TTestLine(const TTestLine&) = delete;
    TTestLine& operator=(const TTestLine&) = delete;

    void SetSpeed(speed_t speed);
    void Write(std::string_view bytes);

    // Bytes received until a CR arrived (inclusive) or the time ran out.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));
    // Every byte received within the time.
    std::string ReadFor(std::chrono::milliseconds duration);
    // Whether the line reads as gone (end of file, EIO or a hang-up) within the time.
    bool ReadsAsGone(std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

private:
    int FFd = -1;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TTempDir {
public:
    TTempDir();
    ~TTempDir();
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};

// XOR of the bytes, for replies whose data the test cannot know in advance (the clock).
unsigned char XorOf(std::string_view body);
