#pragma once

#include <stdexcept>
#include <string>

// Every exception class of the system carries a TExceptionClass: a constant description with a
// link to its parent class. It lets code pass "a class" as a value (the way an exception class
// is handed to a layer's Error operation), raise an exception of exactly that class, and test
// membership in a subtree before anything is constructed.
struct TExceptionClass {
    const TExceptionClass* Parent;
    const char* Name;
    void (*Raise)(const std::string& message); // always throws an instance of the class

    bool InheritsFrom(const TExceptionClass& ancestor) const {
        for (const TExceptionClass* c = this; c != nullptr; c = c->Parent)
            if (c == &ancestor)
                return true;
        return false;
    }
};

// Throws an exception of exactly the given class with the given message.
[[noreturn]] void RaiseException(const TExceptionClass& cls, const std::string& message);

// The root of the system's exceptions: a message text and nothing else.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }

    static const TExceptionClass ClassType;
    virtual const TExceptionClass& ClassInfo() const { return ClassType; }
};

// Declares an exception class that adds nothing but its place in the tree.
#define KESTRO_DECLARE_EXCEPTION(Name, Base)                                                       \
    class Name : public Base {                                                                     \
    public:                                                                                        \
        using Base::Base;                                                                          \
        static const TExceptionClass ClassType;                                                    \
        const TExceptionClass& ClassInfo() const override { return ClassType; }                    \
    }

// Defines the class description of an exception declared with KESTRO_DECLARE_EXCEPTION.
#define KESTRO_DEFINE_EXCEPTION(Name, Base)                                                        \
    constinit const TExceptionClass Name::ClassType {                                              \
        &Base::ClassType, #Name, [](const std::string& message) {                                  \
            throw Name(message);                                                                   \
        }                                                                                          \
    }

// Conversion failures of the runtime: invalid dates and times, malformed format strings.
KESTRO_DECLARE_EXCEPTION(EConvertError, Exception);

// A profile (ini) file that cannot be written.
KESTRO_DECLARE_EXCEPTION(EIniFileException, Exception);
