// SPDX-License-Identifier: Apache-2.0
// A dialog of the UI model drawn as HTML, for the panel in the browser.
//
// Each visible control of the dialog becomes one absolutely positioned
// element at its template rectangle, converted from dialog units to CSS
// pixels with the template's font: a dialog unit is a quarter of the
// font's average character width across and an eighth of its line height
// down. A font of P points is P * 96 / 72 pixels at the browser's 96 pixels
// per inch; its average character width is taken as half that and its line
// height as four thirds of it, both rounded. For the panel's 9-point font
// that is 12 px text, 6 x 16 px per character, so one unit is 1.5 px across
// and 2 px down and the 312 x 185 unit panel is 468 x 370 px.
//
// Texts and states come from the model: window texts, check states,
// enabled states (a disabled control carries the `disabled` attribute);
// hidden controls are not drawn. Every clickable element carries its
// control id in `data-id`; what a click does is the model's business.
#pragma once

#include "framework/ui/DialogTemplate.h"

#include <string>
#include <string_view>

class CDialog;

/// Dialog units to pixels for one template's font.
struct DialogScale {
    double unitX; ///< pixels per horizontal dialog unit
    double unitY; ///< pixels per vertical dialog unit
    int fontPx;   ///< the font's size in pixels

    static DialogScale Of(const DialogTemplate& dialog);
    int X(int units) const;
    int Y(int units) const;
};

/// The dialog's controls as HTML elements, positioned inside a container
/// of the dialog's own size (which the caller draws).
std::string DialogControlsHtml(CDialog& dialog);

/// `text` with &, <, >, " and ' written as character references.
std::string HtmlEscape(std::string_view text);
