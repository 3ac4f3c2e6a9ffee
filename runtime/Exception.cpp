#include "Exception.h"

constinit const TExceptionClass Exception::ClassType{nullptr, "Exception",
                                                     [](const std::string& message) {
                                                         throw Exception(message);
                                                     }};

KESTRO_DEFINE_EXCEPTION(EConvertError, Exception);
KESTRO_DEFINE_EXCEPTION(EIniFileException, Exception);

void RaiseException(const TExceptionClass& cls, const std::string& message) {
    cls.Raise(message);
    throw Exception(message); // not reached: Raise always throws
}
