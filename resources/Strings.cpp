// SPDX-License-Identifier: Apache-2.0
#include "resources/Strings.h"
#include "resources/ResourceIds.h"

#include <array>

namespace {

struct StringEntry {
    int id;
    const char16_t* text;
};

constexpr std::array kStrings{
    StringEntry{IDS_DRAVIK, u"Dravik Control"},
    StringEntry{IDS_DRAVIK_PPG, u"Dravik Property Page"},
    StringEntry{IDS_DRAVIK_PPG_CAPTION, u"General"},
};

} // namespace

const char16_t* LoadResourceString(int id) {
    for (const StringEntry& entry : kStrings) {
        if (entry.id == id) {
            return entry.text;
        }
    }
    return nullptr;
}
