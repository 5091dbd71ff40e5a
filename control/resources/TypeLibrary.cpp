// SPDX-License-Identifier: Apache-2.0
#include "control/resources/TypeLibrary.h"

namespace {

constexpr TypeLibraryInfo kTypeLibrary{
    u"DRAVIKLib",
    LIBID_DRAVIKLib,
    1,
    0,
    1033,
    u"Dravik.hlp",
    u"Dravik ActiveX Control module",
    {u"_DDravik", DIID__DDravik, kTypeHidden | kTypeDispatchable,
     u"Dispatch interface for Dravik Control"},
    {u"_DDravikEvents", DIID__DDravikEvents, kTypeDispatchable,
     u"Event interface for Dravik Control"},
    {u"Dravik", CLSID_Dravik, kTypeCreatable | kTypeControl, u"Dravik Control"},
};

} // namespace

const TypeLibraryInfo& DravikTypeLibrary() {
    return kTypeLibrary;
}
