#pragma once

#include <string>

namespace vmeter {

// The master side of a pseudo-terminal. The slave starts raw (no echo, no line editing), so
// that nothing the meters send comes back to them before the program under test sets the
// line up itself.
class TPty {
public:
    TPty(); // raises EVirtualMeter when no pseudo-terminal can be had
    ~TPty();

    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    int MasterFd() const { return FMaster; }
    bool IsOpen() const { return FMaster >= 0; }
    const std::string& SlaveName() const { return FSlaveName; }

    // The slave's line speed in bits per second (the master reports the slave's settings);
    // 0 when closed or unknown.
    int BaudRate() const;

    void Close();

private:
    int FMaster = -1;
    std::string FSlaveName;
};

} // namespace vmeter
