// SPDX-License-Identifier: Apache-2.0
// The control's own texts: the string table and the component-category
// descriptions written at registration.
//
// Every text the panel shows comes from the host page; these few are the
// only ones the control carries itself.
#pragma once

/// The string of the given IDS_ id, or nullptr when the table has none.
const char16_t* LoadResourceString(int id);

/// The settings file of the user's choices on the panel.
constexpr const char16_t* kSettingsFileName = u"dravik.ini";

/// Description of the "safe for initializing" component category.
constexpr const char16_t* kSafeForInitializingDescription =
    u"Controls safely initializable from persistent data!";
/// Description of the "safe for scripting" component category.
constexpr const char16_t* kSafeForScriptingDescription = u"Controls safely scriptable!";
