#pragma once

#include <string>

namespace vmeter {

// A symbolic link that lives as long as this object. An older symbolic link at the same path
// is replaced; anything else there is left alone and the constructor raises EVirtualMeter.
// On destruction the link is removed only while it still points where this object put it,
// so a newer meter's link at the same path survives.
class TSymlink {
public:
    TSymlink(std::string linkPath, std::string target);
    ~TSymlink();

    TSymlink(const TSymlink&) = delete;
    TSymlink& operator=(const TSymlink&) = delete;

private:
    std::string FLinkPath;
    std::string FTarget;
};

} // namespace vmeter
