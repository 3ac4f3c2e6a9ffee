#include "LinkTarget.h"

#include <filesystem>
#include <system_error>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

// Whether the link at `link` may be followed (see FindLinkTarget).
TLinkTargetResult MayFollow(const fs::path& link) {
#ifdef _WIN32
    (void)link; // Windows folders have no sticky bit; their access lists decide
#else
    const fs::path folder = link.has_parent_path() ? link.parent_path() : fs::path(".");
    struct stat linkInfo {};
    struct stat folderInfo {};
    if (lstat(link.c_str(), &linkInfo) != 0 || stat(folder.c_str(), &folderInfo) != 0)
        return TLinkTargetResult::Unresolvable;
    const bool shared = (folderInfo.st_mode & S_ISVTX) && (folderInfo.st_mode & S_IWOTH);
    if (shared && linkInfo.st_uid != geteuid() && linkInfo.st_uid != folderInfo.st_uid)
        return TLinkTargetResult::UntrustedLink;
#endif
    return TLinkTargetResult::Ok;
}

} // namespace

TLinkTargetResult FindLinkTarget(const std::string& path, std::string& target) {
    fs::path current = path;
    for (int depth = 0; depth < 40; ++depth) {
        std::error_code error;
        const fs::file_status status = fs::symlink_status(current, error);
        if (status.type() == fs::file_type::not_found || (!error && !fs::is_symlink(status))) {
            target = current.string();
            return TLinkTargetResult::Ok;
        }
        if (error)
            return TLinkTargetResult::Unresolvable;
        if (const TLinkTargetResult follow = MayFollow(current); follow != TLinkTargetResult::Ok)
            return follow;
        const fs::path next = fs::read_symlink(current, error);
        if (error)
            return TLinkTargetResult::Unresolvable;
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return TLinkTargetResult::Unresolvable;
}
