#pragma once

#include <string>

// How the file that a path finally names was found.
enum class TLinkTargetResult {
    Ok,
    Unresolvable,  // a loop of links, or a path that cannot be examined
    UntrustedLink, // a link another user placed in a shared folder
};

// The file a path finally names, its symbolic links followed one by one, so that the links
// survive a rename that replaces the file, and a link to a missing file names that file.
// In a folder that everybody may write to and that carries the sticky bit (such as /tmp), a link
// is followed only when it belongs to the user or to the folder's owner, the rule by which the
// system protects such links: anybody could have placed it there, pointing anywhere.
TLinkTargetResult FindLinkTarget(const std::string& path, std::string& target);
