#include "comm/PosixFailureCause.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The group that may use the device (dialout on Debian), for the hint on a refused open.
std::string DeviceGroup(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) == 0 && info.st_gid != 0) {
        std::vector<char> buffer(4096);
        group entry{};
        group* found = nullptr;
        if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) == 0 &&
            found != nullptr && found->gr_name != nullptr)
            return found->gr_name;
    }
    return "dialout";
}

// The name a process was started with: the last part of its first argument, else its comm.
std::string ProgramName(const std::filesystem::path& process) {
    std::ifstream cmdline(process / "cmdline", std::ios::binary);
    std::string argv0;
    if (cmdline && std::getline(cmdline, argv0, '\0') && !argv0.empty())
        return std::filesystem::path(argv0).filename().string();
    std::ifstream comm(process / "comm");
    std::string name;
    if (comm && std::getline(comm, name) && !name.empty())
        return name;
    return "unknown program";
}

bool SameDevice(const struct stat& a, const struct stat& b) {
    if (S_ISCHR(a.st_mode) && S_ISCHR(b.st_mode))
        return a.st_rdev == b.st_rdev;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

std::string SystemErrorText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

std::string OpenFailureCause(const std::string& device, int error) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return device + ": no such device: is the adapter plugged in?";
    case EACCES:
    case EPERM:
        return device + ": permission denied: add the user to the group " + DeviceGroup(device) +
               " and log in again";
    case EBUSY:
    case EWOULDBLOCK: {
        const std::string holders = ProgramsHolding(device);
        return device + ": in use by another program" + (holders.empty() ? "" : ": " + holders);
    }
    default:
        return device + ": " + SystemErrorText(error);
    }
}

std::string DeviceGoneCause(const std::string& device, const std::string& reason) {
    return device + ": the device is gone (" + reason + "): is the adapter plugged in?";
}

std::string OperationFailureCause(const std::string& device, const std::string& operation,
                                  int error) {
    return device + ": " + operation + ": " + SystemErrorText(error);
}

std::string ProgramsHolding(const std::string& device) {
#ifdef __linux__
    struct stat target {};
    if (::stat(device.c_str(), &target) != 0)
        return {};
    std::string holders;
    std::error_code ec;
    // This process holds the device itself while the refused lock is being reported.
    const std::string self = std::to_string(::getpid());
    // Processes come and go during the scan; what was found so far is the best answer then.
    try {
        for (const auto& process : std::filesystem::directory_iterator("/proc", ec)) {
            const std::string pid = process.path().filename().string();
            if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos ||
                pid == self)
                continue;
            std::error_code fdError;
            for (const auto& fd :
                 std::filesystem::directory_iterator(process.path() / "fd", fdError)) {
                struct stat info {};
                if (::stat(fd.path().c_str(), &info) != 0 || !SameDevice(info, target))
                    continue;
                if (!holders.empty())
                    holders += ", ";
                holders += ProgramName(process.path()) + " (pid " + pid + ")";
                break;
            }
        }
    } catch (const std::exception&) {
        return holders;
    }
    return holders;
#else
    (void)device;
    return {};
#endif
}
