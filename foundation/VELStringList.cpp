// SPDX-License-Identifier: Apache-2.0
#include "foundation/VELStringList.h"

#include "foundation/AllocHooks.h"
#include "foundation/TextUnits.h"

#include <cstring>
#include <new>

namespace {
// The array holds one element pointer per element object.
constexpr std::int32_t kPointerSize = sizeof(void*);
} // namespace

CVELStringList::CVELStringList() : m_nCount(0), m_nAllocated(0) {}

CVELStringList::~CVELStringList() {
    CVELString** elements = MutableElements();
    for (std::int32_t i = m_nAllocated - 1; i >= 0; --i) {
        elements[i]->~CVELString();
        vel::Free(elements[i]);
    }
}

CVELString* CVELStringList::NewElement(const char16_t* text, std::int32_t length) {
    // Element objects come from the same hooks as every other block, so an
    // allocation failure here is reported as the list's own: its pointer
    // array could not take one more element.
    void* raw = vel::Allocate(sizeof(CVELString));
    if (raw == nullptr) {
        throw &m_buffer;
    }
    try {
        return new (raw) CVELString(text, length);
    } catch (...) {
        vel::Free(raw);
        throw;
    }
}

BOOL CVELStringList::InsertAt(const char16_t* text, std::int32_t index, std::int32_t length) {
    assert(index >= 0 && index <= m_nCount);
    if (m_nCount < m_nAllocated) {
        CVELString** elements = MutableElements();
        CVELString* spare = elements[m_nCount];
        spare->Assign(text, length);
        if (index < m_nCount) {
            std::memmove(elements + index + 1, elements + index,
                         static_cast<std::size_t>(m_nCount - index) * kPointerSize);
            elements[index] = spare;
        }
    } else {
        if (m_nAllocated == kMaxElements) {
            return FALSE;
        }
        // Room for the pointer first, so that nothing is left half-inserted
        // when either allocation fails.
        m_buffer.Reserve((m_nAllocated + 1) * kPointerSize);
        CVELString* element = NewElement(text, length);
        m_buffer.Insert(&element, index * kPointerSize, kPointerSize);
        ++m_nAllocated;
    }
    ++m_nCount;
    return TRUE;
}

void CVELStringList::RemoveAt(std::int32_t index) {
    assert(index >= 0 && index < m_nCount);
    CVELString** elements = MutableElements();
    CVELString* removed = elements[index];
    std::memmove(elements + index, elements + index + 1,
                 static_cast<std::size_t>(m_nCount - index - 1) * kPointerSize);
    elements[--m_nCount] = removed;
}

std::int32_t CVELStringList::FindNoCase(const char16_t* text, std::int32_t from,
                                        std::int32_t length) const {
    if (length == -1) {
        length = vel::TextLength(text);
    }
    CVELString* const* elements = Elements();
    for (std::int32_t i = from < 0 ? 0 : from; i < m_nCount; ++i) {
        if (elements[i]->GetLength() == length &&
            vel::EqualNoCase(elements[i]->GetData(), text, length)) {
            return i;
        }
    }
    return -1;
}

std::int32_t CVELStringList::WalkForward(const char16_t* text, std::int32_t p, BOOL& found) const {
    CVELString* const* elements = Elements();
    while (p < m_nCount && vel::Compare(text, elements[p]->GetData()) > 0) {
        ++p;
    }
    found = p < m_nCount && vel::Compare(text, elements[p]->GetData()) == 0;
    return p;
}

std::int32_t CVELStringList::WalkBackward(const char16_t* text, std::int32_t p, BOOL& found) const {
    CVELString* const* elements = Elements();
    std::int32_t q = p - 1;
    for (; q >= 0; --q) {
        const int order = vel::Compare(text, elements[q]->GetData());
        if (order > 0) {
            break;
        }
        if (order == 0) {
            found = TRUE;
        }
    }
    return q + 1;
}

BOOL CVELStringList::BinarySearch(const char16_t* text, std::int32_t& index) const {
    const std::int32_t n = m_nCount;
    BOOL found = FALSE;
    if (n < 2) {
        index = n == 1 && vel::Compare(text, GetAt(0)->GetData()) > 0 ? 1 : 0;
        return n == 1 && vel::Compare(text, GetAt(0)->GetData()) == 0;
    }
    std::int32_t step = n / 2;
    std::int32_t p = step;
    for (;;) {
        const int order = vel::Compare(text, GetAt(p)->GetData());
        if (order == 0) {
            found = TRUE;
            index = WalkBackward(text, p, found);
            return found;
        }
        step /= 2;
        if (step == 0) {
            index = order > 0 ? WalkForward(text, p, found) : WalkBackward(text, p, found);
            return found;
        }
        p += order > 0 ? step : -step;
    }
}
