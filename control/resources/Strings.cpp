// SPDX-License-Identifier: Apache-2.0
// The control's resource table: its dialogs and strings, registered under
// the handle of the binary this code is linked into.
#include "control/resources/Strings.h"
#include "control/resources/ResourceIds.h"

#include <array>

namespace {

constexpr std::array kStrings{
    StringResource{IDS_DRAVIK, u"Dravik Control"},
    StringResource{IDS_DRAVIK_PPG, u"Dravik Property Page"},
    StringResource{IDS_DRAVIK_PPG_CAPTION, u"General"},
};

const CResourceRegistration& Registration() {
    static const ModuleResources table{DravikDialogTemplates(), kStrings};
    static const CResourceRegistration registration(table);
    return registration;
}

// Registered while the binary loads, so that code given only the module's
// handle (registration, say) finds the table before anything asked for it.
const CResourceRegistration& kRegisteredAtLoad = Registration();

} // namespace

HINSTANCE AfxGetResourceHandle() {
    return Registration().Handle();
}
