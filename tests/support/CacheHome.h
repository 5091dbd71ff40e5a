// SPDX-License-Identifier: Apache-2.0
// Points the URL cache at a fresh temporary folder for as long as it lives,
// so tests never touch the user's cache and never see each other's entries.
#pragma once

#include <string>

namespace testsupport {

class CacheHome {
  public:
    CacheHome();
    ~CacheHome();
    CacheHome(const CacheHome&) = delete;
    CacheHome& operator=(const CacheHome&) = delete;

    /// The cache folder the library uses ($XDG_CACHE_HOME/dravik).
    std::string CacheDir() const { return m_home + "/dravik"; }

  private:
    std::string m_home;
    std::string m_previous;
    bool m_hadPrevious = false;
};

} // namespace testsupport
