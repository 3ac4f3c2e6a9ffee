#pragma once

#include "app/MeterTarget.h"
#include "runtime/DateTime.h"

#include <cstdint>
#include <functional>
#include <string>

// The line speed through the optical head.
constexpr std::int32_t OptoheadBaudRate = 300;

class TCommKestro;
class TLink;
class TSessionObserver;

// One conversation with one meter, on the link. For a meter on the bus nothing needs opening.
// For the meter under the optical head, Open switches the open line to 300 baud with the long
// write and reply timeouts and puts the meter into link mode ("01"); Close takes it out ("00")
// and restores the configured timeout and speed, again without closing the port. Whatever Open
// switched is restored on every way out, a refused "01" included; "00" is sent only after an
// accepted "01", and then also when the link's stop has stopped every other request.
//
// Progress and result texts go to the observer. When closing succeeds after an operation that
// succeeded, the operation's result text is reported again, so that it is the last one seen.
class TMeterSession {
public:
    TMeterSession(TLink& link, TMeterTarget target, TSessionObserver& observer);

    TMeterSession(const TMeterSession&) = delete;
    TMeterSession& operator=(const TMeterSession&) = delete;

    void Open();
    // Closes what Open opened. A failure here propagates; the line is restored all the same.
    void Close();
    // Open, the body, Close: Close runs whether or not the body succeeded, and its failure
    // replaces the body's.
    void Run(const std::function<void()>& body);

    const TMeterTarget& Target() const { return FTarget; }
    TCommKestro& Engine();

    // The meter operations; each reports its progress and, on success, its result text.
    // Echo returns the address with which the meter answered.
    TKestroAddr Echo();
    void GetDateTime(TDateTime& time, TDateTime& date);
    void SetDateTime(TDateTime time, TDateTime date);

    // The result text of an operation run on the session's engine (a clock synchronisation):
    // reported now and, as the operations' own, again once the session has closed.
    void ReportResult(const std::string& text);

private:
    void Status(const std::string& text);
    void Restore();

    TLink& FLink;
    const TMeterTarget FTarget;
    TSessionObserver& FObserver;
    bool FSwitched = false; // the line runs at the optical head's speed and timeouts
    bool FLinkOn = false;   // the meter accepted link mode "01"
    std::string FResult;    // result text of the last successful operation
};
