#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Delivery.h"
#include "MeterClock.h"

// A stand-in for Kestro4 meters on a pseudo-terminal: the program under test opens the slave
// side as its serial port, the meters answer on the master side. Its protocol code is written
// independently of the program's own encoder and decoder, so a fault in one is not mirrored in
// the other.
namespace vmeter {

// A fault the meters inject into their replies.
enum class TFault {
    None,
    Silence,         // no reply at all
    ErrorS,          // error reply, letter S
    ErrorC,          // error reply, letter C
    ErrorD,          // error reply, letter D
    ErrorP,          // error reply, letter P
    ErrorUnknown,    // error reply, letter X
    BadChecksum,     // checksum off by one
    WrongAddress,    // reply from another address (addr + 1, modulo 100)
    WrongObject,     // reply with another object letter
    NoiseBeforeHash, // bytes of line noise before the "#"
    NoCR,            // reply without its CR
    WriteDataDiff,   // a clock write answered with other data
    DropLine,        // close the master side, as a pulled USB adapter
};

// A meter that cannot be set up: no pseudo-terminal, a bad option, a link path in the way.
class EVirtualMeter : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One request as the meters received it.
struct TLogEntry {
    std::string Frame; // the bytes from "#" to CR inclusive
    int BaudRate;      // line speed of the slave side when the request arrived
    bool Answered;     // whether a reply was sent
    // Meters' clock minus the PC's in ms, for a clock read at its instant and for a clock
    // write just after the take-over; empty for other requests.
    std::optional<double> ClockOffsetMs = std::nullopt;
};

// Parses a fault name as the command line spells it ("silence", "error-s", "bad-checksum", ...).
std::optional<TFault> ParseFault(const std::string& name);
std::string FaultName(TFault fault);

struct TOptions {
    std::vector<int> BusMeters; // addresses 0..99 answering at any speed
    int OptoMeter = -1;         // address of the meter under the optical head, -1 for none;
                                // it answers requests to "??" and only at 300 baud
    bool Pace = false;          // line timing: a request counts as received one line time
                                // after its first byte, replies go out at 10 bits per byte
    int TurnaroundMs = 0;       // pause between the request's CR and the reply
    std::string LinkPath;       // where to put a symlink to the slave; empty for none
    // Called on the meters' thread after each request has been handled (for a log file).
    std::function<void(const TLogEntry&)> OnRequest;
    // With more than TurnaroundMs: each pause is drawn at random from TurnaroundMs to this.
    int TurnaroundMaxMs = 0;
    TClockOptions Clock = {};       // the meters' clock
    TDeliveryOptions Delivery = {}; // early, batched and late bytes
};

class TVirtualMeter {
public:
    explicit TVirtualMeter(TOptions options);
    ~TVirtualMeter(); // stops the meters, removes the link, closes the pty

    TVirtualMeter(const TVirtualMeter&) = delete;
    TVirtualMeter& operator=(const TVirtualMeter&) = delete;

    // Path of the slave device (the link path when one was asked for).
    std::string SlavePath() const;
    // Path of the pseudo-terminal's slave device itself (/dev/pts/N).
    std::string DevicePath() const;

    // Injects a fault into the next `count` replies (-1: until changed).
    void SetFault(TFault fault, int count = -1);

    // Requests received so far, oldest first.
    std::vector<TLogEntry> Log() const;
    void ClearLog();

    // Whether the meter under the optical head is in link mode ("01" received, "00" not yet).
    bool LinkMode() const;

    // Offset of the meters' clock from the PC's clock, in seconds; a clock write changes it.
    std::int64_t ClockOffsetSeconds() const;
    // The same now, in milliseconds with the fraction of the second.
    double ClockOffsetMs() const;

    // Closes the master side now; returns once it is closed. The slave then reads end of file
    // or EIO and the device path (and the link) disappears. Not to be called from OnRequest.
    void DropLine();

    struct TImpl;

private:
    std::unique_ptr<TImpl> FImpl;
};

} // namespace vmeter
