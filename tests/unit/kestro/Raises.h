#pragma once

#include "runtime/Exception.h"

#include <gtest/gtest.h>

#include <string>

namespace kestro_test {

// Runs the action and checks that it raised exactly the given class with the given message.
template <class TAction>
::testing::AssertionResult Raises(TAction&& action, const TExceptionClass& cls,
                                  const std::string& message) {
    try {
        action();
    } catch (const Exception& e) {
        if (&e.ClassInfo() != &cls)
            return ::testing::AssertionFailure() << "raised " << e.ClassInfo().Name << " ("
                                                 << e.Message() << "), expected " << cls.Name;
        if (e.Message() != message)
            return ::testing::AssertionFailure()
                   << "message \"" << e.Message() << "\", expected \"" << message << "\"";
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "nothing raised, expected " << cls.Name;
}

} // namespace kestro_test
