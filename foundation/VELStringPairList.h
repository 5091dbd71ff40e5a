// SPDX-License-Identifier: Apache-2.0
// CVELStringPairList: the attributes of one HTML tag.
//
// Two parallel string lists, names and values; pair i is name i with value
// i. Lookup by name ignores A-Z case and the first match wins. Both lists
// keep their element objects as spares across RemoveAll.
#pragma once

#include "foundation/VELStringList.h"

class CVELStringPairList {
  public:
    std::int32_t GetCount() const { return m_names.GetCount(); }
    const CVELStringList& Names() const { return m_names; }
    const CVELStringList& Values() const { return m_values; }

    void RemoveAll() {
        m_names.RemoveAll();
        m_values.RemoveAll();
    }
    /// Inserts the pair at `index` in both lists. Returns FALSE, changing
    /// nothing, when the lists are full. Requires 0 <= index <= count.
    BOOL InsertPair(const char16_t* name, const CVELString& value, std::int32_t index);
    /// Assigns the value of the first pair named `name` (ignoring case) and
    /// returns TRUE; returns FALSE with `value` unchanged when there is none.
    BOOL GetValue(const char16_t* name, CVELString& value) const;

  private:
    CVELStringList m_names;
    CVELStringList m_values;
};
