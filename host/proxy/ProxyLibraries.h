// SPDX-License-Identifier: Apache-2.0
// Every library the proxy calls into, loaded before it serves: a library
// first loaded in the middle of a request, while connections hold most
// descriptors, may find none left to open it with.
#pragma once

#include <string>

namespace proxy {

/// True when all are loaded; otherwise false with `error` saying which not
/// and `status` the exit status for it.
bool LoadProxyLibraries(std::string& error, int& status);

} // namespace proxy
