// SPDX-License-Identifier: Apache-2.0
#include "host/browser/DialogHtml.h"

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

std::string ControlHtml(const DialogScale& scale, CWnd& control) {
    const ControlTemplate& t = *control.GetControlTemplate();
    const std::string id = std::to_string(t.id);
    const std::string style = " style=\"" + Box(scale, t.rect) + "\"";
    const std::string text = HtmlEscape(Utf8(control.GetWindowText()));
    const bool enabled = control.IsWindowEnabled() != FALSE;
    const std::string disabled = enabled ? "" : " disabled";
    switch (t.kind) {
    case ControlKind::AutoCheckBox: {
        const int check = static_cast<CButton&>(control).GetCheck();
        return "<label class=\"ctl box" + std::string(enabled ? "" : " off") + "\" data-id=\"" +
               id + "\"" + style + "><input type=\"checkbox\"" +
               (check == BST_CHECKED ? " checked" : "") + disabled + "><span>" + text +
               "</span></label>";
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
        return "<button type=\"button\" class=\"ctl" +
               std::string(t.kind == ControlKind::DefPushButton ? " default" : "") +
               "\" data-id=\"" + id + "\"" + style + disabled + ">" + text + "</button>";
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
    const double fontPx = dialog.pointSize * 96.0 / 72.0;
    return {std::round(fontPx / 2) / 4, std::round(fontPx * 4 / 3) / 8,
            static_cast<int>(std::lround(fontPx))};
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
        for (CWnd* control : dialog.GetControls()) {
            const ControlTemplate& t = *control->GetControlTemplate();
            if (control->IsWindowVisible() && t.Has(kCtlExTransparent) == transparent) {
                html += ControlHtml(scale, *control);
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
