// SPDX-License-Identifier: Apache-2.0
#include "foundation/VELStringPairList.h"

BOOL CVELStringPairList::InsertPair(const char16_t* name, const CVELString& value,
                                    std::int32_t index) {
    // Both lists always hold the same number of element objects, so a refusal
    // by the one is a refusal by the other and the pairs stay aligned.
    if (!m_names.InsertAt(name, index)) {
        return FALSE;
    }
    try {
        return m_values.InsertAt(value.GetData(), index, value.GetLength());
    } catch (...) {
        // The value could not be stored: take the name back out so that pair
        // i is still name i with value i when the failure is caught above.
        m_names.RemoveAt(index);
        throw;
    }
}

BOOL CVELStringPairList::GetValue(const char16_t* name, CVELString& value) const {
    const std::int32_t index = m_names.FindNoCase(name, 0);
    if (index < 0) {
        return FALSE;
    }
    value.Assign(*m_values.GetAt(index));
    return TRUE;
}
