#include "app/MeterSession.h"

#include "app/Link.h"
#include "app/SessionObserver.h"
#include "comm/uCommKestro.h"
#include "runtime/Format.h"

#include <exception>

namespace {

// The link-mode command of the optical head: object letter and the data for on and off.
constexpr char LinkModeObject = 'k';
const std::string LinkModeOn = "01";
const std::string LinkModeOff = "00";
// Reply timeout through the optical head.
constexpr std::int32_t OptoheadTimeout = 2000;

} // namespace

TMeterSession::TMeterSession(TLink& link, TMeterTarget target, TSessionObserver& observer)
    : FLink(link), FTarget(target), FObserver(observer) {}

TCommKestro& TMeterSession::Engine() {
    return FLink.Engine();
}

void TMeterSession::Open() {
    FResult.clear();
    if (!FTarget.IsOptohead())
        return;
    // Never set back: from now on the line keeps the long write timeout.
    FLink.SetSlowLink(true);
    FSwitched = true;
    try {
        FLink.Reconfigure(OptoheadBaudRate, OptoheadTimeout);
        Engine().WriteCmd(KestroAddrAll, LinkModeObject, LinkModeOn);
        FLinkOn = true;
    } catch (...) {
        // The line goes back to the configured speed; a failure of that replaces this one.
        Restore();
        throw;
    }
}

void TMeterSession::Close() {
    if (!FSwitched)
        return;
    std::exception_ptr failure;
    if (FLinkOn) {
        FLinkOn = false;
        Status("Closing connection...");
        try {
            // Also after the user stopped the operation: the meter must not stay in link mode.
            FLink.Unstoppable(
                [this] { Engine().WriteCmd(KestroAddrAll, LinkModeObject, LinkModeOff); });
        } catch (...) {
            failure = std::current_exception();
        }
    }
    Restore();
    if (failure)
        std::rethrow_exception(failure);
    if (!FResult.empty())
        Status(FResult);
}

void TMeterSession::Run(const std::function<void()>& body) {
    Open();
    try {
        body();
    } catch (...) {
        FResult.clear();
        Close();
        throw;
    }
    Close();
}

void TMeterSession::Restore() {
    FSwitched = false;
    FLink.Restore();
}

TKestroAddr TMeterSession::Echo() {
    FResult.clear();
    Status("Sending echo request...");
    Engine().Echo(FTarget.Addr());
    const TKestroAddr answered = Engine().Response.Addr;
    ReportResult(Format("Echo from meter #%2.2d returned", {int{answered}}));
    return answered;
}

void TMeterSession::GetDateTime(TDateTime& time, TDateTime& date) {
    FResult.clear();
    Status("Reading clock/calendar...");
    // Both values or neither: a reply whose date is invalid leaves the caller's time alone too.
    TDateTime readTime = 0;
    TDateTime readDate = 0;
    Engine().GetDateTime(FTarget.Addr(), readTime, readDate);
    time = readTime;
    date = readDate;
    ReportResult("OK");
}

void TMeterSession::SetDateTime(TDateTime time, TDateTime date) {
    FResult.clear();
    Status("Setting clock/calendar...");
    Engine().SetDateTime(FTarget.Addr(), time, date);
    ReportResult("OK");
}

void TMeterSession::Status(const std::string& text) {
    FObserver.SessionStatus(text);
}

void TMeterSession::ReportResult(const std::string& text) {
    FResult = text;
    Status(text);
}
