#pragma once

#include "app/Settings.h"
#include "runtime/DateTime.h"

#include <optional>
#include <string>

// The actions of the main window that the model enables and runs.
enum class TMainAction {
    Config,
    CleanupMarks,
    Exit,
    SendEcho,
    GetDateTime,
    SetDateTime,
    SetCurrDateTime,
    SyncClock,
};

// The two warning dots: the "Work with" panel's (echo) and the "Clock/Calendar" panel's.
enum class TWarnDot { KestroId, DateTime };

// What the main window model asks of a window. Every window (Qt, Win32) implements it: it
// draws what it is told and reads its fields; it decides nothing the model decides.
class TMainView {
public:
    virtual ~TMainView() = default;

    // The whole status line ("Status: Ready") and, under a failure of the port, the system's
    // cause of it (empty when there is none); both belong in the tooltip.
    virtual void ShowStatus(const std::string& line, const std::string& cause) = 0;
    virtual void ShowDot(TWarnDot dot, bool visible) = 0;
    virtual void EnableAction(TMainAction action, bool enabled) = 0;
    virtual void EnableAddress(bool enabled) = 0;

    // The target as the fields give it. TakeAddress, TakeTime and TakeDate take over the
    // pending entry of their field; an entry that cannot be taken over puts the focus on the
    // field and raises EFieldValidation with the field's message.
    virtual bool OptoheadTicked() = 0;
    virtual int TakeAddress() = 0;
    virtual TDateTime TakeTime() = 0;
    virtual TDateTime TakeDate() = 0;
    virtual void ShowTime(TDateTime time) = 0;
    virtual void ShowDate(TDateTime date) = 0;
    // The meter's offset to the PC after a read ("meter 2 s behind"); empty hides it.
    virtual void ShowClockOffset(const std::string& text) = 0;

    // A message box captioned with the application title, and a yes/no question.
    virtual void ShowMessage(const std::string& text) = 0;
    virtual bool Ask(const std::string& question) = 0;
    // The Config dialog on `current`: the settings confirmed with OK, none when cancelled.
    virtual std::optional<TSettings> RunConfig(const TSettings& current) = 0;

    // Paints what is pending and takes the user's input (a cancel among it) while an
    // operation blocks the window's thread.
    virtual void ProcessPendingEvents() = 0;
};
