// SPDX-License-Identifier: Apache-2.0
// The control's COM identity: class and interface identifiers, ProgIDs and
// the description of its type library.
//
// These values are what registration writes and what host pages embed (the
// class id of an <object> element), so they are constants that never change
// from one build to the next.
#pragma once

#include "framework/com/TypeLib.h"

/// Class of the control.
constexpr GUID CLSID_Dravik = {
    0xAA31AF6A, 0x7213, 0x44D3, {0xA5, 0xA5, 0xF1, 0x46, 0xD4, 0x5B, 0x56, 0x8F}};
/// Class of the control's property page.
constexpr GUID CLSID_DravikPropPage = {
    0x2AD61F7C, 0xEDC3, 0x4077, {0x90, 0x11, 0x2E, 0x6A, 0x02, 0xF5, 0x50, 0x86}};
/// The type library.
constexpr GUID LIBID_DRAVIKLib = {
    0x451EF816, 0xFE3B, 0x45ED, {0xA8, 0x43, 0xD6, 0x9C, 0x94, 0xBE, 0xE5, 0x19}};
/// The dispatch interface (no methods, no properties).
constexpr GUID DIID__DDravik = {
    0xD41F90FF, 0x5DCC, 0x4A16, {0xA5, 0x1D, 0xFC, 0xDA, 0x6E, 0xBB, 0x27, 0x3F}};
/// The event interface (no events).
constexpr GUID DIID__DDravikEvents = {
    0x612BB44E, 0xAA89, 0x4DEC, {0xB4, 0x8D, 0xB9, 0xB8, 0x86, 0x88, 0x42, 0xB4}};

constexpr const char16_t* kProgIdControl = u"DRAVIK.DravikCtrl.1";
constexpr const char16_t* kProgIdPropPage = u"DRAVIK.DravikPropPage.1";

/// The control's type library (resource "TYPELIB" IDR_TYPELIB).
const TypeLibraryInfo& DravikTypeLibrary();
