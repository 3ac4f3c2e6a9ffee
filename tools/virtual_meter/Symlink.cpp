#include "Symlink.h"

#include "VirtualMeter.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace vmeter {

namespace {

std::string ReadLink(const std::string& path) {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
    return length < 0 ? std::string()
                      : std::string(buffer.data(), static_cast<std::size_t>(length));
}

} // namespace

TSymlink::TSymlink(std::string linkPath, std::string target)
    : FLinkPath(std::move(linkPath)), FTarget(std::move(target)) {
    struct stat info {};
    if (::lstat(FLinkPath.c_str(), &info) == 0 && !S_ISLNK(info.st_mode))
        throw EVirtualMeter("Cannot create the link " + FLinkPath +
                            ": something other than a symbolic link is in the way");
    // A link made beside the old one and renamed over it replaces the old one in one step.
    const std::string temporary = FLinkPath + ".new-" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(FTarget.c_str(), temporary.c_str()) != 0)
        throw EVirtualMeter("Cannot create the link " + FLinkPath + ": " + std::strerror(errno));
    if (::rename(temporary.c_str(), FLinkPath.c_str()) != 0) {
        const std::string error = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw EVirtualMeter("Cannot create the link " + FLinkPath + ": " + error);
    }
}

TSymlink::~TSymlink() {
    if (ReadLink(FLinkPath) == FTarget)
        ::unlink(FLinkPath.c_str());
}

} // namespace vmeter
