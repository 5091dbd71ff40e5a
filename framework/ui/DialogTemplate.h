// SPDX-License-Identifier: Apache-2.0
// Dialog templates as data: what a dialog window and its controls look like
// when they are created.
//
// A template fixes a window's kind, size, font and caption, and for each
// control its kind, position, initial states and text. The UI model
// (framework/ui/Dialog.h) instantiates a dialog from one of these; front ends
// read the same data to lay the windows out. Positions and sizes are in
// dialog units, as the font of the template defines them.
#pragma once

#include <span>

/// A rectangle in dialog units: left, top, width, height.
struct DialogRect {
    int left;
    int top;
    int width;
    int height;
};

/// What a control is; this decides its look and how it answers a click.
enum class ControlKind {
    AutoCheckBox,   ///< a check box that toggles itself when clicked
    PushButton,     ///< a plain push button
    DefPushButton,  ///< the dialog's default push button
    StaticText,     ///< left-aligned text; takes no input
    CenteredStatic, ///< centred text; takes no input
};

/// Style bits of a control.
enum ControlStyle : unsigned {
    kCtlVisible = 1u << 0,  ///< shown when the dialog is created
    kCtlDisabled = 1u << 1, ///< greyed out and deaf to clicks when created
    kCtlTabStop = 1u << 2,  ///< reachable with the Tab key
    kCtlGroup = 1u << 3,    ///< starts a group for arrow-key navigation
};

/// Extended style bits of a control.
enum ControlExStyle : unsigned {
    kCtlExNone = 0,
    kCtlExTransparent = 1u << 0, ///< painted after its siblings, showing them through
};

/// One control of a dialog template.
struct ControlTemplate {
    int id;
    ControlKind kind;
    DialogRect rect;
    unsigned styles;   ///< ControlStyle bits
    unsigned exStyles; ///< ControlExStyle bits
    const char16_t* text;

    bool Has(ControlStyle style) const { return (styles & style) != 0; }
    bool Has(ControlExStyle style) const { return (exStyles & style) != 0; }
};

/// Whether a dialog sits inside a parent window or floats above it.
enum class DialogKind {
    Child, ///< placed in the parent's area, no frame of its own
    Popup, ///< a window of its own, owned by the parent
};

/// Style bits of a dialog.
enum DialogStyle : unsigned {
    kDlgVisible = 1u << 0,    ///< shown as soon as it is created
    kDlgCaption = 1u << 1,    ///< has a title bar
    kDlgModalFrame = 1u << 2, ///< has the thick frame of a dialog box
    kDlgSystemMenu = 1u << 3, ///< has a system menu and with it a close box
    kDlgCentered = 1u << 4,   ///< centred on the screen when created
};

/// A whole dialog: the window and its controls in template order (which is
/// also the Tab order).
struct DialogTemplate {
    int id;
    DialogKind kind;
    unsigned styles; ///< DialogStyle bits
    int width;       ///< dialog units
    int height;      ///< dialog units
    const char16_t* fontName;
    int pointSize;
    const char16_t* caption;
    std::span<const ControlTemplate> controls;

    bool Has(DialogStyle style) const { return (styles & style) != 0; }
};
