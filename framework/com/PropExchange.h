// SPDX-License-Identifier: Apache-2.0
// Property exchange: load, save and reset of a control's named text values.
//
// A control describes its persistent state once, in one exchange function,
// and the same function serves three directions: load (bag -> fields),
// save (fields -> bag) and reset (defaults -> fields). The bag is a plain
// map of names to texts; the host page's parameters fill it for a load.
#pragma once

#include "foundation/VELString.h"
#include "platform/kernel/WinTypes.h"

#include <map>
#include <string>

using PropertyBag = std::map<std::u16string, std::u16string>;

class CPropExchange {
  public:
    enum class Mode { Load, Save, Reset };

    CPropExchange(Mode mode, PropertyBag& bag) : m_mode(mode), m_bag(bag) {}

    Mode GetMode() const { return m_mode; }
    BOOL IsLoading() const { return m_mode != Mode::Save; }
    PropertyBag& Bag() { return m_bag; }

    /// Exchanges the persistent-state version under "_Version". On load a
    /// stored version other than `current` is accepted only with `convert`.
    BOOL ExchangeVersion(DWORD& version, DWORD current, BOOL convert);

  private:
    Mode m_mode;
    PropertyBag& m_bag;
};

/// Load: `value` takes the stored text when the name is present and is left
/// as it stands otherwise. Save: the text is stored. Reset: unchanged.
BOOL PX_String(CPropExchange* px, const char16_t* name, CVELString& value);

/// As above, but a load of an absent name and a reset give `defaultValue`.
BOOL PX_String(CPropExchange* px, const char16_t* name, CVELString& value,
               const char16_t* defaultValue);
