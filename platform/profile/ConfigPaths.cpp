// SPDX-License-Identifier: Apache-2.0
#include "platform/profile/ConfigPaths.h"

#include "platform/text/Utf8.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The home directory from $HOME, or from the password database when HOME is
// unset (as under some service managers).
std::string HomeDirectory() {
    std::string home = EnvironmentValue("HOME");
    if (!home.empty()) {
        return home;
    }
    const passwd* entry = getpwuid(getuid());
    return entry != nullptr && entry->pw_dir != nullptr ? std::string(entry->pw_dir) : home;
}

// The base directory for configuration; relative values of XDG_CONFIG_HOME
// are ignored, as the convention asks, because they would depend on the
// working directory.
std::string ConfigHome() {
    std::string xdg = EnvironmentValue("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') {
        return xdg;
    }
    const std::string home = HomeDirectory();
    return home.empty() ? home : home + "/.config";
}

bool IsDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

bool IsBareProfileName(std::u16string_view fileName) {
    return fileName.find(u'/') == std::u16string_view::npos;
}

std::string ProfileFilePath(std::u16string_view fileName) {
    if (fileName.empty() || fileName == u"." || fileName == u"..") {
        return {};
    }
    std::string name = Utf16ToUtf8(fileName);
    if (!IsBareProfileName(fileName)) {
        return name;
    }
    const std::string base = ConfigHome();
    return base.empty() ? base : base + "/dravik/" + name;
}

std::error_code CreateDirectories(const std::string& dir) {
    // Make each level from the root down. A level that already exists may
    // still make mkdir fail with something other than EEXIST (a read-only
    // mount says EROFS), so what counts is whether a directory is there.
    std::size_t slash = 0;
    while (slash != std::string::npos) {
        slash = dir.find('/', slash + 1);
        const std::string level = dir.substr(0, slash);
        if (::mkdir(level.c_str(), 0700) == 0) {
            continue;
        }
        const int error = errno;
        if (!IsDirectory(level)) {
            return {error == EEXIST ? ENOTDIR : error, std::generic_category()};
        }
    }
    return {};
}
