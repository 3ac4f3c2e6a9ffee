#pragma once

#include "runtime/Exception.h"

#include <exception>
#include <functional>
#include <utility>

class QObject;

// The silent abort: a handler throws it to stop an operation without any message.
KESTRO_DECLARE_EXCEPTION(EAbort, Exception);

// The application-wide exception hook: receives every exception that escapes a handler, with
// the object whose handler was running.
using TExceptionHook = std::function<void(QObject* sender, const std::exception& error)>;

// Installs the hook on behalf of `owner`, replacing any earlier one.
void SetApplicationExceptionHook(QObject* owner, TExceptionHook hook);
// Removes the hook, but only if `owner` installed the current one.
void ClearApplicationExceptionHook(QObject* owner);

// Hands an exception to the hook; EAbort is dropped. Without a hook the message is shown in a
// message box. Never throws.
void HandleException(QObject* sender, std::exception_ptr error) noexcept;

// Runs a handler so that no exception leaves it: Qt is built without exception tables, so an
// exception crossing Qt code would end the program.
template <class Handler> void Guarded(QObject* sender, Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        HandleException(sender, std::current_exception());
    }
}
