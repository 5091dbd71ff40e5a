// SPDX-License-Identifier: Apache-2.0
#include "framework/ui/Button.h"
#include "support/CrawlSite.h"
#include "support/FailingAlloc.h"
#include "support/InetTestSupport.h"
#include "support/TestServers.h"

#include <string>
#include <vector>

using testsupport::A;

namespace {

using Targets = std::vector<std::string>;

class Driver : public CrawlSite {
  protected:
    void SetUp() override {
        CrawlSite::SetUp();
        slot.m_name.Assign(u"Main");
        slot.m_startQuery.Assign(u"ORXCmd=Show&title=a b#c");
        slot.m_nDepthDefault = 0;
        slot.m_nDepthIncludeLinks = 1;
        slot.m_bSelectionApplied = TRUE;
        slot.m_pSubscriptionBox = &subscriptionBox;
        slot.m_pIncludeLinksBox = &includeLinksBox;
        subscriptionBox.SetCheck(BST_CHECKED);
        engine.Page("/orx?ORXCmd=Show&title=a+b%23c", "<a href=\"orx?ORXCmd=List\">more</a>");
        engine.Page("/orx?ORXCmd=List", "listed");
        orxPath.Assign(Wide(engine.Origin() + "/orx").c_str());
    }

    /// Runs the slot; afterwards it keeps neither the run's headers nor its outside-links flag.
    BOOL Run(BOOL outside = FALSE) {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        const BOOL result = slot.Synchronize(now.dwLowDateTime, now.dwHighDateTime, orxPath,
                                             CVELString(u"X-Run: 1\r\n"), outside);
        EXPECT_EQ(slot.m_requestHeaders.GetLength(), 0);
        EXPECT_FALSE(slot.m_bOutsideLinks);
        return result;
    }

    CButton subscriptionBox{205};
    CButton includeLinksBox{206};
    CVELString orxPath;
};

TEST_F(Driver, UnappliedUncheckedOrUnnamedSlotsSendNothing) {
    slot.m_bSelectionApplied = FALSE;
    EXPECT_TRUE(Run());
    slot.m_bSelectionApplied = TRUE;
    subscriptionBox.SetCheck(BST_UNCHECKED);
    EXPECT_TRUE(Run());
    subscriptionBox.SetCheck(BST_CHECKED);
    slot.m_name.Empty();
    EXPECT_TRUE(Run());
    EXPECT_TRUE(engine.Targets().empty());
}

TEST_F(Driver, DepthAndStartUrlComeFromTheSlot) {
    ASSERT_TRUE(Run(TRUE));
    EXPECT_EQ(engine.Targets(), (Targets{"/orx?ORXCmd=Show&title=a+b%23c"}));
    EXPECT_EQ(engine.Requests()[0].Header("X-Run"), "1");

    engine.ClearRequests();
    includeLinksBox.SetCheck(BST_CHECKED);
    ASSERT_TRUE(Run());
    EXPECT_EQ(engine.Targets(), (Targets{"/orx?ORXCmd=Show&title=a+b%23c", "/orx?ORXCmd=List"}));

    // A named slot without check boxes is crawled at its default depth, and
    // an engine address that holds a query takes the encoded start query as it is.
    engine.ClearRequests();
    slot.m_pSubscriptionBox = nullptr;
    slot.m_pIncludeLinksBox = nullptr;
    orxPath.Assign(Wide(engine.Origin() + "/orx?").c_str());
    slot.m_startQuery.Assign(u"ORXCmd=List&t=a b");
    engine.Page("/orx?ORXCmd=List&t=a+b", "<a href=\"orx?ORXCmd=List\">more</a>");
    ASSERT_TRUE(Run());
    EXPECT_EQ(engine.Targets(), (Targets{"/orx?ORXCmd=List&t=a+b"}));
}

TEST_F(Driver, AFailedSubscriptionSaysWhichStepFailedAndWhy) {
    using Step = CCrawlReport::Step;
    using Refusal = CCrawlReport::Refusal;
    ParseList(u"Show,InvokeMethod", g_allowedCommands);
    engine.Reply("/orx?ORXCmd=Show&s=404", {404, "text/html", "gone", {}});
    engine.Redirect("/orx?ORXCmd=Show&s=loop", "/orx?ORXCmd=Show&s=loop");
    testsupport::RawServer notHttp("SSH-2.0-OpenSSH\r\n");
    const std::string engineOrx = engine.Origin() + "/orx";
    const std::string closed = "http://127.0.0.1:" + std::to_string(testsupport::ClosedPort());
    const std::string raw = "http://127.0.0.1:" + std::to_string(notHttp.Port());
    struct Case {
        std::string orxPath;
        std::u16string query;
        Step step;
        Refusal refusal;
        DWORD number; // last error, or the status for kStatus
        std::string refused;
    };
    const Case cases[] = {
        {"ftp://127.0.0.1/orx", u"ORXCmd=Show", Step::kStartUrl, Refusal::kNone, 0, ""},
        {engineOrx, u"s=1", Step::kRefused, Refusal::kNoCommand, 0, ""},
        {engineOrx, u"ORXCmd=Admin", Step::kRefused, Refusal::kCommand, 0, "Admin"},
        {engineOrx, u"ORXCmd=InvokeMethod", Step::kRefused, Refusal::kNoMethod, 0, ""},
        {engineOrx, u"ORXCmd=InvokeMethod&ORXMethod=Drop", Step::kRefused, Refusal::kMethod, 0,
         "Drop"},
        {closed + "/orx", u"ORXCmd=Show", Step::kSend, Refusal::kNone, 12029, ""},
        {raw + "/orx", u"ORXCmd=Show", Step::kSend, Refusal::kNone, 12152, ""},
        {engineOrx, u"ORXCmd=Show&s=loop", Step::kSend, Refusal::kNone, 12156, ""},
        {engineOrx, u"ORXCmd=Show&s=404", Step::kStatus, Refusal::kNone, 404, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orxPath + " " + A(c.query));
        orxPath.Assign(Wide(c.orxPath).c_str());
        slot.m_startQuery.Assign(c.query.c_str());
        EXPECT_FALSE(Run(TRUE));
        const CCrawlReport& report = slot.m_report;
        EXPECT_TRUE(report.m_bCrawled);
        EXPECT_EQ(report.m_step, c.step);
        EXPECT_EQ(report.m_refusal, c.refusal);
        EXPECT_EQ(c.step == Step::kStatus ? report.m_dwStatus : report.m_dwError, c.number);
        EXPECT_EQ(A(Str(report.m_refused)), c.refused);
    }
    // Running out of memory fails the crawl, and the next run works again.
    // Small texts stay in their inline stores; the body and the page text
    // need the heap, and that is where the crawl runs dry.
    orxPath.Assign(Wide(engineOrx).c_str());
    slot.m_startQuery.Assign(u"ORXCmd=Show&big=1");
    engine.Page("/orx?ORXCmd=Show&big=1", "<p>" + std::string(20000, 'x') + "</p><a href=x>");
    {
        ScopedAllocFailure failing;
        EXPECT_FALSE(Run(TRUE));
    }
    EXPECT_EQ(slot.m_report.m_step, Step::kNoRoom);
    EXPECT_EQ(slot.m_report.m_dwError, 8u); // ERROR_NOT_ENOUGH_MEMORY
    // A slot passed over leaves no report of an earlier run.
    subscriptionBox.SetCheck(BST_UNCHECKED);
    EXPECT_TRUE(Run());
    EXPECT_FALSE(slot.m_report.m_bCrawled);
    EXPECT_EQ(slot.m_report.m_step, Step::kNone);
    subscriptionBox.SetCheck(BST_CHECKED);
    EXPECT_TRUE(Run(TRUE));
}

} // namespace
