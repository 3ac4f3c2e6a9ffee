#include "app/MeterSession.h"

#include "app/SessionObserver.h"
#include "comm/uCommDispatcher.h"
#include "comm/uCommKestro.h"
#include "runtime/Format.h"

#include <exception>

namespace {

// The link-mode command of the optical head: object letter and the data for on and off.
constexpr char LinkModeObject = 'k';
const std::string LinkModeOn = "01";
const std::string LinkModeOff = "00";
// Line speed and reply timeout through the optical head.
constexpr std::int32_t OptoheadBaudRate = 300;
constexpr std::int32_t OptoheadTimeout = 2000;

} // namespace

TMeterSession::TMeterSession(TCommDispatcher& channel, TCommKestro& engine, TMeterTarget target,
                             TSettings configured, TSessionObserver& observer)
    : FChannel(channel), FEngine(engine), FTarget(target), FConfigured(configured),
      FObserver(observer) {}

void TMeterSession::Open() {
    FResult.clear();
    if (!FTarget.IsOptohead())
        return;
    // Never set back: from now on every Open of the channel keeps the long write timeout.
    FChannel.SetSlowLink(true);
    FSwitched = true;
    try {
        // In place on an open port: a device server keeps its one connection, a local port
        // its lock.
        if (FChannel.GetActive()) {
            FChannel.Reconfigure(OptoheadBaudRate);
        } else {
            FChannel.SetBaudRate(OptoheadBaudRate);
            FChannel.Open();
        }
        FEngine.Timeout = OptoheadTimeout;
        FEngine.WriteCmd(KestroAddrAll, LinkModeObject, LinkModeOn);
        FLinkOn = true;
    } catch (...) {
        // The line goes back to the configured speed; a failure to reopen replaces this one.
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
            FEngine.WriteCmd(KestroAddrAll, LinkModeObject, LinkModeOff);
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
    if (FChannel.GetActive() && FChannel.GetPort() == FConfigured.ComPort) {
        FEngine.Timeout = FConfigured.Timeout;
        FChannel.Reconfigure(FConfigured.BaudRate);
        return;
    }
    ApplySettings(FChannel, FEngine, FConfigured);
}

TKestroAddr TMeterSession::Echo() {
    FResult.clear();
    Status("Sending echo request...");
    FEngine.Echo(FTarget.Addr());
    const TKestroAddr answered = FEngine.Response.Addr;
    Result(Format("Echo from meter #%2.2d returned", {int{answered}}));
    return answered;
}

void TMeterSession::GetDateTime(TDateTime& time, TDateTime& date) {
    FResult.clear();
    Status("Reading clock/calendar...");
    // Both values or neither: a reply whose date is invalid leaves the caller's time alone too.
    TDateTime readTime = 0;
    TDateTime readDate = 0;
    FEngine.GetDateTime(FTarget.Addr(), readTime, readDate);
    time = readTime;
    date = readDate;
    Result("OK");
}

void TMeterSession::SetDateTime(TDateTime time, TDateTime date) {
    FResult.clear();
    Status("Setting clock/calendar...");
    FEngine.SetDateTime(FTarget.Addr(), time, date);
    Result("OK");
}

void TMeterSession::Status(const std::string& text) {
    FObserver.SessionStatus(text);
}

void TMeterSession::Result(const std::string& text) {
    FResult = text;
    Status(text);
}
