// SPDX-License-Identifier: Apache-2.0
#include "framework/com/PropExchange.h"

#include <string>

namespace {

const char16_t kVersionKey[] = u"_Version";

std::u16string ToText(DWORD value) {
    std::u16string text;
    for (char c : std::to_string(value)) {
        text.push_back(static_cast<char16_t>(c));
    }
    return text;
}

BOOL Exchange(CPropExchange* px, const char16_t* name, CVELString& value,
              const char16_t* defaultValue) {
    PropertyBag& bag = px->Bag();
    switch (px->GetMode()) {
    case CPropExchange::Mode::Save:
        bag[name] = std::u16string(value.GetData(), static_cast<std::size_t>(value.GetLength()));
        return TRUE;
    case CPropExchange::Mode::Load: {
        const auto found = bag.find(name);
        if (found != bag.end()) {
            value.Assign(found->second.data(), static_cast<std::int32_t>(found->second.size()));
        } else if (defaultValue != nullptr) {
            value.Assign(defaultValue);
        }
        return TRUE;
    }
    case CPropExchange::Mode::Reset:
        if (defaultValue != nullptr) {
            value.Assign(defaultValue);
        }
        return TRUE;
    }
    return FALSE;
}

} // namespace

BOOL CPropExchange::ExchangeVersion(DWORD& version, DWORD current, BOOL convert) {
    if (m_mode == Mode::Save) {
        m_bag[kVersionKey] = ToText(version);
        return TRUE;
    }
    version = current;
    const auto found = m_bag.find(kVersionKey);
    if (m_mode == Mode::Load && found != m_bag.end() && found->second != ToText(current)) {
        return convert;
    }
    return TRUE;
}

BOOL PX_String(CPropExchange* px, const char16_t* name, CVELString& value) {
    return Exchange(px, name, value, nullptr);
}

BOOL PX_String(CPropExchange* px, const char16_t* name, CVELString& value,
               const char16_t* defaultValue) {
    return Exchange(px, name, value, defaultValue);
}
