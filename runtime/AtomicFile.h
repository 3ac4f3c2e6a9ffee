#pragma once

#include <string>
#include <string_view>

// Replaces the content of the regular file `path` (or creates it) by writing a temporary file in
// the same folder and renaming it over the old one, so readers see either the old or the new
// content, never a mix. The temporary file bears a random name and is created exclusively, so
// nobody can foresee its name and take it first. An existing file is replaced only when the user
// may write it, and the new one keeps its owner, group and permissions; where that is impossible
// nothing is replaced. `path` must not be a symbolic link (the caller resolves links, so that
// they survive). Returns false, with the old file untouched and the temporary file removed, on
// any failure.
bool ReplaceFileContent(const std::string& path, std::string_view content);
