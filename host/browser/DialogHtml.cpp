// SPDX-License-Identifier: Apache-2.0
#include "host/browser/DialogHtml.h"

#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "framework/ui/Button.h"
#include "framework/ui/Dialog.h"
#include "platform/text/Utf8.h"

#include <cmath>

namespace {

std::string Utf8(const CVELString& text) {
    return Utf16ToUtf8(
        std::u16string_view(text.GetData(), static_cast<std::size_t>(text.GetLength())));
}

std::string Box(const DialogScale& scale, const DialogRect& rect) {
    return "left:" + std::to_string(scale.X(rect.left)) +
           "px;top:" + std::to_string(scale.Y(rect.top)) +
           "px;width:" + std::to_string(scale.X(rect.width)) +
           "px;height:" + std::to_string(scale.Y(rect.height)) + "px";
}

/// `order` is the control's place in the template (from 1): Tab and
/// Shift-Tab follow it, as in the dialog, whatever order the markup has.
std::string ControlHtml(const DialogScale& scale, CWnd& control, int order) {
    const ControlTemplate& t = *control.GetControlTemplate();
    const std::string id = std::to_string(t.id);
    const std::string style = " style=\"" + Box(scale, t.rect) + "\"";
    const std::string tab = " tabindex=\"" + std::to_string(order) + "\"";
    const std::string text = HtmlEscape(Utf8(control.GetWindowText()));
    const bool enabled = control.IsWindowEnabled() != FALSE;
    const std::string disabled = enabled ? "" : " disabled";
    switch (t.kind) {
    case ControlKind::AutoCheckBox: {
        const int check = static_cast<CButton&>(control).GetCheck();
        return "<label class=\"ctl box" + std::string(enabled ? "" : " off") + "\" data-id=\"" +
               id + "\"" + style + "><input type=\"checkbox\"" + tab +
               (check == BST_CHECKED ? " checked" : "") + disabled + "><span>" + text +
               "</span></label>";
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
        return "<button type=\"button\" class=\"ctl" +
               std::string(t.kind == ControlKind::DefPushButton ? " default" : "") +
               "\" data-id=\"" + id + "\"" + style + tab + disabled + ">" + text + "</button>";
    case ControlKind::StaticText:
    case ControlKind::CenteredStatic:
        return "<div class=\"ctl text" +
               std::string(t.kind == ControlKind::CenteredStatic ? " centred" : "") +
               (enabled ? "" : " off") + "\"" + style + ">" + text + "</div>";
    }
    return {};
}

} // namespace

DialogScale DialogScale::Of(const DialogTemplate& dialog) {
    // Arial's: the 52 letters' width per pixel of size, and its ascent and
    // descent per pixel of size (1854 and 434 of 2048 units to the em).
    constexpr double kLettersPerPx = 30.341;
    constexpr double kAscentPerPx = 1854.0 / 2048;
    constexpr double kDescentPerPx = 434.0 / 2048;
    const int fontPx = static_cast<int>(std::lround(dialog.pointSize * 96.0 / 72.0));
    const int letters = static_cast<int>(kLettersPerPx * fontPx);
    const int charWidth = (letters / 26 + 1) / 2;
    const auto charHeight =
        std::lround(kAscentPerPx * fontPx) + std::lround(kDescentPerPx * fontPx);
    return {charWidth / 4.0, static_cast<double>(charHeight) / 8.0, fontPx};
}

std::pair<int, int> PanelPixels() {
    for (const DialogTemplate& dialog : DravikDialogTemplates()) {
        if (dialog.id == IDD_DRAVIK_PANEL) {
            const DialogScale scale = DialogScale::Of(dialog);
            return {scale.X(dialog.width), scale.Y(dialog.height)};
        }
    }
    return {0, 0};
}

std::string DialogFontCss(const DialogTemplate& dialog) {
    return std::to_string(DialogScale::Of(dialog).fontPx) + "px Arial, Helvetica, sans-serif";
}

int DialogScale::X(int units) const {
    return static_cast<int>(std::lround(units * unitX));
}

int DialogScale::Y(int units) const {
    return static_cast<int>(std::lround(units * unitY));
}

std::string DialogControlsHtml(CDialog& dialog) {
    const DialogScale scale = DialogScale::Of(*dialog.GetTemplate());
    std::string html;
    // Transparent controls last, as the platform paints them over their
    // siblings.
    for (const bool transparent : {false, true}) {
        int order = 0;
        for (CWnd* control : dialog.GetControls()) {
            const ControlTemplate& t = *control->GetControlTemplate();
            ++order;
            if (control->IsWindowVisible() && t.Has(kCtlExTransparent) == transparent) {
                html += ControlHtml(scale, *control, order);
            }
        }
    }
    return html;
}

std::string HtmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
