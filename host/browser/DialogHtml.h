// SPDX-License-Identifier: Apache-2.0
// A dialog of the UI model drawn as HTML, for the panel in the browser.
//
// Each visible control of the dialog becomes one absolutely positioned
// element at its template rectangle, converted from dialog units to CSS
// pixels with the template's font, as the platform converts them: a dialog
// unit is a quarter of the font's average character width across and an
// eighth of its height down. A font of P points is P * 96 / 72 pixels (to
// the whole pixel) at the browser's 96 pixels per inch. The average width
// is (W / 26 + 1) / 2 in whole pixels, W being the width of "A".."Z" and
// "a".."z" together; the height is the ascent and the descent, each to the
// whole pixel. The metrics are Arial's, which browsers draw in Arial or a
// face of the same metrics (Liberation Sans). For the panel's Arial 9 pt
// that is 12 px text, 7 x 14 px per character, so one unit is 1.75 px both
// ways and the 312 x 185 unit panel is 546 x 324 px.
//
// Texts and states come from the model: window texts, check states,
// enabled states (a disabled control carries the `disabled` attribute);
// hidden controls are not drawn. Every clickable element carries its
// control id in `data-id`; what a click does is the model's business.
#pragma once

#include "framework/ui/DialogTemplate.h"

#include <string>
#include <string_view>
#include <utility>

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

/// The panel dialog's size in pixels: what a host page's <object> needs to
/// show all of it.
std::pair<int, int> PanelPixels();

/// The CSS font of a template: its size in pixels and its face.
std::string DialogFontCss(const DialogTemplate& dialog);

/// The dialog's controls as HTML elements, positioned inside a container
/// of the dialog's own size (which the caller draws).
std::string DialogControlsHtml(CDialog& dialog);

/// `text` with &, <, >, " and ' written as character references.
std::string HtmlEscape(std::string_view text);
