// SPDX-License-Identifier: Apache-2.0
#include "crawler/AllowedLists.h"

#include "foundation/TextUnits.h"

CVELStringList g_allowedCommands;
CVELStringList g_allowedMethods;

void ParseList(const char16_t* text, CVELStringList& list) {
    list.RemoveAll();
    const std::int32_t n = vel::TextLength(text);
    CVELString piece;
    for (std::int32_t pos = 0; pos < n;) {
        std::int32_t comma = vel::FindUnit(text, pos, n, u',');
        if (comma < 0) {
            comma = n;
        }
        if (comma > pos) {
            piece.Assign(text + pos, comma - pos);
            std::int32_t index = 0;
            if (!list.BinarySearch(piece.GetData(), index)) {
                // A full list stops taking pieces; the texts it holds stay sorted.
                list.InsertAt(piece.GetData(), index);
            }
        }
        pos = comma + 1;
    }
}
