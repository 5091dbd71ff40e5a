// SPDX-License-Identifier: Apache-2.0
// One synchronization run: every slot in order under a progress window,
// ending with the complete message or the failed message of the first
// subscription that failed.
#include "control/DravikPanel.h"
#include "control/SynchProgressDlg.h"
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "foundation/VELMemBuf.h"
#include "framework/message/FormatMessage.h"
#include "framework/ui/MessageBox.h"
#include "net/InternetSession.h"
#include "platform/kernel/FileTime.h"

#include <new>

namespace {

/// `format` with the subscription label as "%1". A format that cannot be
/// used (an insert without argument, say) is shown as it stands; an empty
/// result stays empty rather than stopping the run.
CVELString FormatWithLabel(const CVELString& format, const CVELString& label) {
    CVELString out;
    if (FormatMessageString(format.GetData(), {label}, out) == FormatStatus::InvalidParameter) {
        out.Assign(format);
    }
    return out;
}

} // namespace

BOOL CDravikPanel::SynchronizeSlot(int index, const FILETIME& start) {
    // Running out of memory ends the run as a failure of this subscription;
    // the host goes on.
    try {
        m_slots[index].m_nConnections = m_nConnections;
        return m_slots[index].Synchronize(start.dwLowDateTime, start.dwHighDateTime, m_orxPath,
                                          m_requestHeaders, m_bFollowOutsideLinks);
    } catch (CVELString*) {
    } catch (CVELMemBuf*) {
    } catch (const std::bad_alloc&) {
    }
    return FALSE;
}

void CDravikPanel::SynchronizeAll() {
    CSynchProgressDlg progress; // destroyed with its window however the run ends
    progress.Create(AfxGetResourceHandle(), IDD_SYNCH_PROGRESS, this);
    progress.SetWindowText(m_title);
    SaveSettings();
    if (g_hInternet != nullptr) {
        // A session that does not take the choice runs over HTTP/1, as without it.
        (void)OfferHttp2(g_hInternet, m_bHttp2);
    }
    FILETIME start{};
    GetSystemTimeAsFileTime(&start);
    m_nFailedSlot = -1;
    for (int i = 0; i < kSlotCount; ++i) {
        const CVELString& label = m_slots[i].m_labelSubscription;
        if (label.GetLength() != 0) {
            progress.m_text.SetWindowText(FormatWithLabel(m_msgSynchInProgress, label));
            progress.ShowWindow(SW_SHOW);
        }
        if (!SynchronizeSlot(i, start)) {
            progress.ShowWindow(SW_HIDE);
            CVELString failed = FormatWithLabel(m_msgSynchFailed, label);
            if (failed.GetLength() == 0) {
                failed.Assign(label); // an empty message still names the subscription
            }
            m_nFailedSlot = i;
            m_lastOutcome = RunOutcome::kFailed;
            MessageBoxW(this, failed.GetData(), m_title.GetData(), MB_ICONEXCLAMATION);
            return;
        }
    }
    progress.ShowWindow(SW_HIDE);
    m_lastOutcome = RunOutcome::kComplete;
    MessageBoxW(this, m_msgSynchComplete.GetData(), m_title.GetData(), MB_OK);
}
