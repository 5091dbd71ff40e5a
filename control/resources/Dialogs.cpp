// SPDX-License-Identifier: Apache-2.0
// The control's three dialog templates: the panel, the progress window and
// the property page.

#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"

#include <array>

namespace {

constexpr unsigned kBox = kCtlVisible | kCtlTabStop;
constexpr unsigned kHiddenBox = kCtlTabStop;
constexpr unsigned kDisabledBox = kCtlVisible | kCtlDisabled | kCtlTabStop;
constexpr auto kCheck = ControlKind::AutoCheckBox;
constexpr unsigned kTransparent = kCtlExTransparent;

// The panel. The left column holds S1 to S3, each include-links box
// disabled until its subscription is checked. The right column (S4 to S6)
// is created hidden and never shown: those slots are driven by the stored
// settings alone. The subscription boxes and the outside-links box are
// transparent (painted after their siblings); the others are plain.
constexpr std::array kPanelControls{
    ControlTemplate{IDC_S1_SUBSCRIPTION, kCheck, {13, 17, 146, 11}, kBox, kTransparent, u""},
    ControlTemplate{IDC_S1_INCLUDE_LINKS, kCheck, {19, 31, 144, 10}, kDisabledBox, 0, u""},
    ControlTemplate{IDC_S2_SUBSCRIPTION, kCheck, {13, 50, 145, 11}, kBox, kTransparent, u""},
    ControlTemplate{IDC_S2_INCLUDE_LINKS, kCheck, {19, 63, 143, 10}, kDisabledBox, 0, u""},
    ControlTemplate{IDC_S3_SUBSCRIPTION, kCheck, {13, 84, 147, 11}, kBox, kTransparent, u""},
    ControlTemplate{IDC_S3_INCLUDE_LINKS, kCheck, {19, 98, 142, 10}, kDisabledBox, 0, u""},
    ControlTemplate{IDC_S4_SUBSCRIPTION, kCheck, {161, 18, 135, 11}, kHiddenBox, kTransparent, u""},
    ControlTemplate{IDC_S4_INCLUDE_LINKS, kCheck, {167, 32, 127, 10}, kHiddenBox, 0, u""},
    ControlTemplate{IDC_S5_SUBSCRIPTION, kCheck, {161, 49, 135, 11}, kHiddenBox, kTransparent, u""},
    ControlTemplate{IDC_S5_INCLUDE_LINKS, kCheck, {167, 63, 127, 10}, kHiddenBox, 0, u""},
    ControlTemplate{IDC_S6_SUBSCRIPTION, kCheck, {162, 84, 135, 11}, kHiddenBox, kTransparent, u""},
    ControlTemplate{IDC_S6_INCLUDE_LINKS, kCheck, {168, 98, 127, 10}, kHiddenBox, 0, u""},
    ControlTemplate{IDC_FOLLOW_OUTSIDE_LINKS, kCheck, {15, 119, 163, 11}, kBox, kTransparent, u""},
    // A tab stop of its own, so that the keyboard reaches the button too.
    ControlTemplate{IDC_SYNCHRONIZE,
                    ControlKind::DefPushButton,
                    {14, 141, 65, 16},
                    kCtlVisible | kCtlTabStop,
                    0,
                    u""},
};

// The progress window: one centred line naming the subscription in work.
constexpr std::array kProgressControls{
    ControlTemplate{IDC_PROGRESS_TEXT,
                    ControlKind::CenteredStatic,
                    {10, 10, 205, 25},
                    kCtlVisible | kCtlGroup,
                    0,
                    u""},
};

// The property page shows no property. Its one text is empty: the control's
// visible texts all come from the host page.
constexpr std::array kPropPageControls{
    ControlTemplate{IDC_STATIC, ControlKind::StaticText, {10, 10, 230, 42}, kCtlVisible, 0, u""},
};

// A popup without system menu has no close box: a run cannot be cut short
// from the progress window.
constexpr unsigned kProgressStyles = kDlgVisible | kDlgCaption | kDlgModalFrame | kDlgCentered;

constexpr std::array kTemplates{
    DialogTemplate{IDD_DRAVIK_PANEL, DialogKind::Child, 0, 312, 185, u"Arial", 9, u"",
                   kPanelControls},
    DialogTemplate{IDD_SYNCH_PROGRESS, DialogKind::Popup, kProgressStyles, 227, 46,
                   u"MS Sans Serif", 8, u"", kProgressControls},
    DialogTemplate{IDD_PROPPAGE, DialogKind::Child, 0, 250, 62, u"MS Sans Serif", 8, u"",
                   kPropPageControls},
};

} // namespace

std::span<const DialogTemplate> DravikDialogTemplates() {
    return kTemplates;
}
