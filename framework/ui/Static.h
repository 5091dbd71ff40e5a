// SPDX-License-Identifier: Apache-2.0
// A static text of the UI model: a label that takes no input.
//
// The progress window shows the subscription in work through one of these.
#pragma once

#include "framework/ui/Window.h"

class CStatic : public CWnd {
  public:
    /// A standalone text exists from construction; bound to a dialog's
    /// control (DDX_Control) it takes that control's id and state instead.
    explicit CStatic(int id = 0) : CWnd(id, true, TRUE, TRUE) {}

  protected:
    bool CanBindTo(ControlKind kind) const override {
        return kind == ControlKind::StaticText || kind == ControlKind::CenteredStatic;
    }
};
