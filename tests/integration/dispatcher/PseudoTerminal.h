#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

// The far end of a serial line: the master side of a fresh pseudo-terminal. The channel under
// test opens the slave path as its port.
class TPseudoTerminal {
public:
    TPseudoTerminal() {
        FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (FMaster < 0 || ::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0)
            throw std::runtime_error("no pseudo-terminal");
        char name[128];
        if (::ptsname_r(FMaster, name, sizeof name) != 0)
            throw std::runtime_error("no slave name");
        FSlavePath = name;
    }
    ~TPseudoTerminal() { CloseMaster(); }
    TPseudoTerminal(const TPseudoTerminal&) = delete;
    TPseudoTerminal& operator=(const TPseudoTerminal&) = delete;

    const std::string& SlavePath() const { return FSlavePath; }

    // The line settings that the slave side was given (the master shares them).
    termios LineSettings() const {
        termios tio{};
        if (::tcgetattr(FMaster, &tio) != 0)
            throw std::runtime_error("tcgetattr on master failed");
        return tio;
    }

    speed_t Speed() const {
        const termios tio = LineSettings();
        return ::cfgetospeed(&tio);
    }

    void Send(const std::string& bytes) const {
        ASSERT_EQ(::write(FMaster, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }

    // Everything that arrives within `wait`.
    std::string Receive(std::chrono::milliseconds wait = std::chrono::milliseconds(100)) const {
        std::string got;
        const auto deadline = std::chrono::steady_clock::now() + wait;
        for (;;) {
            char buffer[4096];
            const ssize_t n = ::read(FMaster, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, static_cast<std::size_t>(n));
                continue;
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return got;
            pollfd pfd{FMaster, POLLIN, 0};
            ::poll(&pfd, 1, 5);
        }
    }

    // As a pulled-out USB adapter: the line is gone for good.
    void CloseMaster() {
        if (FMaster >= 0)
            ::close(FMaster);
        FMaster = -1;
    }

private:
    int FMaster = -1;
    std::string FSlavePath;
};

// A folder of its own for each test, removed afterwards.
class TTempDir {
public:
    TTempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dispatcher-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TTempDir() {
        std::error_code ec;
        std::filesystem::remove_all(FPath, ec);
    }
    const std::filesystem::path& Path() const { return FPath; }

private:
    std::filesystem::path FPath;
};
