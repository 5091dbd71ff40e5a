// SPDX-License-Identifier: Apache-2.0
#include "framework/ui/MessageBox.h"

namespace {

MessageBoxSink& Sink() {
    static MessageBoxSink sink;
    return sink;
}

} // namespace

MessageBoxSink SetMessageBoxSink(MessageBoxSink sink) {
    MessageBoxSink previous = std::move(Sink());
    Sink() = std::move(sink);
    return previous;
}

int MessageBoxW(const CWnd* owner, const char16_t* text, const char16_t* caption, UINT type) {
    // A copy, so that a sink may replace itself while its box is up.
    MessageBoxSink sink = Sink();
    if (!sink) {
        return IDOK;
    }
    MessageBoxRequest request{owner, text != nullptr ? text : u"",
                              caption != nullptr ? caption : u"Error", type};
    return sink(request);
}
