// SPDX-License-Identifier: Apache-2.0
// The control's resources as the framework finds them, and its own texts:
// the component-category descriptions written at registration.
//
// Every text the panel shows comes from the host page; these few are the
// only ones the control carries itself.
#pragma once

#include "framework/ui/ResourceTable.h"

/// The handle the control's dialogs and strings are registered under: the
/// binary this code is linked into (the module, or a program that links the
/// control statically). Pass it to FindDialogTemplate, LoadResourceString,
/// CDialog::Create and COlePropertyPage.
HINSTANCE AfxGetResourceHandle();

/// The control's three dialog templates, in no particular order.
std::span<const DialogTemplate> DravikDialogTemplates();

/// The settings file of the user's choices on the panel.
constexpr const char16_t* kSettingsFileName = u"dravik.ini";

/// Description of the "safe for initializing" component category.
constexpr const char16_t* kSafeForInitializingDescription =
    u"Controls safely initializable from persistent data!";
/// Description of the "safe for scripting" component category.
constexpr const char16_t* kSafeForScriptingDescription = u"Controls safely scriptable!";
