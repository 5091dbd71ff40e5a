// SPDX-License-Identifier: Apache-2.0
// Numeric identifiers of the control's resources.
//
// Dialog templates (IDD_), the controls inside them (IDC_), strings (IDS_),
// bitmaps (IDB_) and the type library. The numbers are part of the control's identity:
// dialog and control ids are what the code and the front ends address
// windows by, and string ids are what registration looks texts up by, so
// they never change.
#pragma once

// Dialog templates.
constexpr int IDD_PROPPAGE = 200;       ///< the (empty) property page
constexpr int IDD_DRAVIK_PANEL = 201;   ///< the panel placed in the control's window
constexpr int IDD_SYNCH_PROGRESS = 300; ///< the progress window of a run

// Controls of the panel. Subscription boxes and their include-links boxes
// come in pairs; S6's pair is numbered after the follow-outside-links box.
constexpr int IDC_SYNCHRONIZE = 201;
constexpr int IDC_S1_SUBSCRIPTION = 205;
constexpr int IDC_S1_INCLUDE_LINKS = 206;
constexpr int IDC_S2_SUBSCRIPTION = 207;
constexpr int IDC_S2_INCLUDE_LINKS = 208;
constexpr int IDC_S3_SUBSCRIPTION = 209;
constexpr int IDC_S3_INCLUDE_LINKS = 210;
constexpr int IDC_S4_SUBSCRIPTION = 211;
constexpr int IDC_S4_INCLUDE_LINKS = 212;
constexpr int IDC_S5_SUBSCRIPTION = 213;
constexpr int IDC_S5_INCLUDE_LINKS = 214;
constexpr int IDC_FOLLOW_OUTSIDE_LINKS = 215;
constexpr int IDC_S6_SUBSCRIPTION = 219;
constexpr int IDC_S6_INCLUDE_LINKS = 220;

// Control of the progress window.
constexpr int IDC_PROGRESS_TEXT = 301;

/// Id of a text that no code addresses (the property page's static text).
constexpr int IDC_STATIC = -1;

// String table.
constexpr int IDS_DRAVIK = 1;               ///< the control's type name
constexpr int IDS_DRAVIK_PPG = 2;           ///< the property page's type name
constexpr int IDS_DRAVIK_PPG_CAPTION = 200; ///< the property page's caption

/// The control's toolbox image (16 x 15, 16 colours).
constexpr int IDB_DRAVIK = 1;

/// Resource id of the type library (resource type "TYPELIB").
constexpr int IDR_TYPELIB = 1;
