// SPDX-License-Identifier: Apache-2.0
// Message boxes of the UI model.
//
// The control's code shows a message box as it would on the platform; the
// box itself is whatever the front end makes of it. A front end installs a
// sink that receives each box (owner, text, caption, type) and returns the
// button the user chose. Without a sink a box is answered IDOK at once.
#pragma once

#include "platform/kernel/WinTypes.h"

#include <functional>
#include <string>

class CWnd;

// Box types: buttons in the low four bits, icon in the next four.
constexpr UINT MB_OK = 0x00000000;
constexpr UINT MB_YESNO = 0x00000004;
constexpr UINT MB_ICONHAND = 0x00000010;
constexpr UINT MB_ICONQUESTION = 0x00000020;
constexpr UINT MB_ICONEXCLAMATION = 0x00000030;
constexpr UINT MB_ICONASTERISK = 0x00000040;
constexpr UINT MB_TYPEMASK = 0x0000000F;
constexpr UINT MB_ICONMASK = 0x000000F0;

// Answers.
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

/// One message box, as the sink receives it.
struct MessageBoxRequest {
    const CWnd* owner; ///< may be nullptr
    std::u16string text;
    std::u16string caption;
    UINT type; ///< MB_* bits
};

/// Shows a box and returns the chosen button (IDOK, ...).
using MessageBoxSink = std::function<int(const MessageBoxRequest& request)>;

/// Installs the sink (an empty one: answer IDOK) and returns the previous one.
/// The UI model lives on one thread; so does the sink.
MessageBoxSink SetMessageBoxSink(MessageBoxSink sink);

/// Installs a sink for its own lifetime and then puts back the previous one.
class ScopedMessageBoxSink {
  public:
    explicit ScopedMessageBoxSink(MessageBoxSink sink)
        : m_previous(SetMessageBoxSink(std::move(sink))) {}
    ~ScopedMessageBoxSink() { SetMessageBoxSink(std::move(m_previous)); }
    ScopedMessageBoxSink(const ScopedMessageBoxSink&) = delete;
    ScopedMessageBoxSink& operator=(const ScopedMessageBoxSink&) = delete;

  private:
    MessageBoxSink m_previous;
};

/// Shows a message box owned by `owner` and returns the button chosen. A
/// null text shows as empty; a null caption as "Error", as on the platform.
int MessageBoxW(const CWnd* owner, const char16_t* text, const char16_t* caption, UINT type);
