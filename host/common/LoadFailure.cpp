// SPDX-License-Identifier: Apache-2.0
#include "host/common/LoadFailure.h"

#include "host/common/ExitStatus.h"
#include "platform/kernel/LazyLibrary.h"

#include <cstdio>
#include <cstdlib>

namespace {

void ReportAndExit(const char* soname, const char* name, const char* reason) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "dravik: cannot load %s (for %s): %s; the command cannot go on "
                 "(too many open files? see `ulimit -n`)\n",
                 soname, name, reason);
    std::_Exit(ExitStatusForLibrary(soname));
}

} // namespace

int ExitStatusForLibrary(std::string_view soname) {
    return soname.find("sqlite") != std::string_view::npos ? kExitCache : kExitTransport;
}

void InstallLoadFailureHandler() {
    DravikLazySetFailure(&ReportAndExit);
}
