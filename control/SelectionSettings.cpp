// SPDX-License-Identifier: Apache-2.0
// The user's choices on the panel, kept per user in the settings file.
//
// One section per user, "VER_1.0_" and the user name; one entry per named
// subscription with a check box ("0" not selected, "1" selected, "2" with
// links) and "FollowOutsideLinks". Read when the panel window opens,
// written at the start of every run. A name that cannot be a key of the
// file is left out (and reported), so it never costs the other choices.
#include "control/DravikPanel.h"
#include "foundation/Decimal.h"
#include "foundation/TextUnits.h"
#include "platform/profile/PrivateProfile.h"

#include <string>
#include <vector>

namespace {

const char16_t kSectionPrefix[] = u"VER_1.0_";
const char16_t kFollowOutsideLinks[] = u"FollowOutsideLinks";
constexpr DWORD kReadStep = 512;

CVELString SectionName(const CVELString& userName) {
    CVELString section(kSectionPrefix);
    section.Append(userName);
    return section;
}

/// The whole section as null-separated entries ended by an empty one.
std::vector<char16_t> ReadSection(const CVELString& section) {
    std::vector<char16_t> buffer;
    for (DWORD size = kReadStep + 2;; size += kReadStep) {
        buffer.assign(size, 0);
        const DWORD read =
            GetPrivateProfileSectionW(section.GetData(), buffer.data(), size, DravikSettingsFile());
        if (read != size - 2) {
            buffer.resize(read + 2);
            buffer[read] = 0;
            buffer[read + 1] = 0;
            return buffer;
        }
    }
}

bool Equal(const CVELString& a, const CVELString& b) {
    return a.GetLength() == b.GetLength() && vel::Compare(a.GetData(), b.GetData()) == 0;
}

} // namespace

const char16_t* DravikSettingsFile() {
    return CDravikPanel::kSettingsFile;
}

void CSubscription::ApplySelection(std::int32_t value, BOOL lock) {
    if (m_bSelectionApplied) {
        return;
    }
    m_bSelectionApplied = TRUE;
    if (m_pSubscriptionBox == nullptr || m_pIncludeLinksBox == nullptr) {
        return;
    }
    if (m_name.GetLength() == 0) {
        m_pSubscriptionBox->ShowWindow(SW_HIDE);
        m_pIncludeLinksBox->ShowWindow(SW_HIDE);
        return;
    }
    m_pSubscriptionBox->SetWindowText(m_labelSubscription.GetData());
    m_pIncludeLinksBox->SetWindowText(m_labelIncludeLinks.GetData());
    m_pSubscriptionBox->EnableWindow(!lock);
    const bool selected = value >= 1;
    m_pSubscriptionBox->SetCheck(selected ? BST_CHECKED : BST_UNCHECKED);
    m_pIncludeLinksBox->EnableWindow(selected);
    m_pIncludeLinksBox->SetCheck(selected && value > 1 ? BST_CHECKED : BST_UNCHECKED);
}

void CDravikPanel::LoadSettings() {
    const std::vector<char16_t> text = ReadSection(SectionName(m_userName));
    for (const char16_t* entry = text.data(); *entry != 0; entry += vel::TextLength(entry) + 1) {
        const std::int32_t equals = vel::FindUnit(entry, 0, vel::TextLength(entry), u'=');
        if (equals < 0) {
            continue;
        }
        const std::int32_t value = ParseDecimal(entry + equals + 1);
        const CVELString key(entry, equals);
        if (vel::Compare(key.GetData(), kFollowOutsideLinks) == 0 &&
            key.GetLength() == vel::TextLength(kFollowOutsideLinks)) {
            m_bFollowOutsideLinks = value;
            continue;
        }
        for (int i = 0; i < kSlotCount; ++i) {
            if (m_slots[i].m_name.GetLength() != 0 && Equal(m_slots[i].m_name, key)) {
                m_slots[i].ApplySelection(value, i == 0);
            }
        }
    }
    m_chkOutsideLinks.SetCheck(m_bFollowOutsideLinks ? BST_CHECKED : BST_UNCHECKED);
    // Defaults for every slot the file did not reach: S1 selected and locked,
    // every other slot not selected.
    for (int i = 0; i < kSlotCount; ++i) {
        m_slots[i].ApplySelection(i == 0 ? 1 : 0, i == 0);
    }
}

void CDravikPanel::SaveSettings() {
    m_settingsReport = {};
    std::u16string text;
    for (int i = 0; i < kSlotCount; ++i) {
        const CSubscription& slot = m_slots[i];
        if (slot.m_pSubscriptionBox == nullptr || slot.m_name.GetLength() == 0) {
            continue;
        }
        // One name that cannot be a key would make the service refuse the
        // whole section: only that choice is left out.
        if (!IsStorableProfileKey(
                std::u16string_view(slot.m_name.GetData(), slot.m_name.GetLength()))) {
            m_settingsReport.unstorable.push_back(i);
            continue;
        }
        for (int j = 0; j < i; ++j) {
            if (m_slots[j].m_pSubscriptionBox != nullptr && Equal(m_slots[j].m_name, slot.m_name)) {
                m_settingsReport.shared.emplace_back(j, i);
                break;
            }
        }
        const char16_t* value = slot.m_pSubscriptionBox->GetCheck() == BST_UNCHECKED   ? u"0"
                                : slot.m_pIncludeLinksBox->GetCheck() != BST_UNCHECKED ? u"2"
                                                                                       : u"1";
        text.append(slot.m_name.GetData(), static_cast<std::size_t>(slot.m_name.GetLength()));
        text.append(u"=").append(value).push_back(0);
    }
    text.append(kFollowOutsideLinks).append(m_bFollowOutsideLinks ? u"=1" : u"=0").push_back(0);
    // The string's own terminator ends the section. A failed write does not
    // stop the run; the service keeps the reason for the front end.
    static_cast<void>(WritePrivateProfileSectionW(SectionName(m_userName).GetData(), text.c_str(),
                                                  DravikSettingsFile()));
}
