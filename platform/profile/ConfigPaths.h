// SPDX-License-Identifier: Apache-2.0
// Where the settings files live on Linux.
//
// Callers name a settings file the Windows way, as a bare file name such as
// "dravik.ini", and expect the platform to keep it in its usual place. Here
// that place is the user's configuration directory of the XDG base directory
// convention: $XDG_CONFIG_HOME/dravik, or ~/.config/dravik when the variable
// is unset, empty or not an absolute path. A name holding "/" is a path and
// is used as it stands, which lets tests and tools point at any file.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

/// The path (UTF-8) of the settings file `fileName`. Empty when the name is
/// unusable (empty, "." or ".."), or when it is bare and there is no home
/// directory to put it in.
std::string ProfileFilePath(std::u16string_view fileName);

/// True when `fileName` names a file in the configuration directory rather
/// than giving a path.
bool IsBareProfileName(std::u16string_view fileName);

/// Creates `dir` and any missing parents, each with mode 0700 since they
/// hold one user's settings. Directories that exist already are left as
/// they are.
std::error_code CreateDirectories(const std::string& dir);
