// SPDX-License-Identifier: Apache-2.0
// A control module built as another version of dravik than the runtime it
// is loaded into, as another installation's module is: the loader must
// refuse it before it starts.
#include "framework/com/ControlModule.h"

namespace {

class COtherVersionApp : public COleControlModule {
  public:
    COtherVersionApp() : COleControlModule("0.0.0-other") {}
    ~COtherVersionApp() override { Stop(); }
};

COtherVersionApp theApp;

} // namespace
