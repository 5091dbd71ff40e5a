// SPDX-License-Identifier: Apache-2.0
// The texts the browser panel is made of: the document the page's iframe
// loads (the panel drawn from the model, its style and its script) and the
// script that shows the state it polls.
#pragma once

#include <string>
#include <string_view>

/// What the document shows when it loads.
struct PanelDocumentParts {
    std::string key;      ///< the panel's secret, sent back with every request
    std::string nonce;    ///< allows the document's one script and style
    std::string controls; ///< the panel's controls (DialogControlsHtml)
    int width = 0;        ///< the panel's size in pixels
    int height = 0;
    std::string error; ///< why there is no panel; empty when there is one
};

std::string PanelDocument(const PanelDocumentParts& parts);
