#pragma once

#include <string>
#include <string_view>

// Full path of the running executable.
std::string ExecutablePath();

// Replaces the extension of the file name (the last "." of the name and what follows) by `ext`;
// a name without a "." gets `ext` appended. Dots in folder names are not extensions.
std::string ChangeFileExt(std::string_view path, std::string_view ext);
