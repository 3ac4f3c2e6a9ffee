#pragma once

#include <optional>
#include <string>
#include <string_view>

// The whole content of a file; nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file's content by writing a temporary file in the same folder and renaming it
// over the old one, so readers see either the old or the new content, never a mix. An existing
// file keeps its permissions. Returns false, with the temporary file removed, on any failure.
bool ReplaceFileContent(const std::string& path, std::string_view content);
