#include "platform/ui/Button.h"
#include "support/CrawlSite.h"
#include "support/FailingAlloc.h"

#include <string>
#include <vector>

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

    BOOL Run(BOOL outside = FALSE) {
        FILETIME now{};
        GetSystemTimeAsFileTime(&now);
        return slot.Synchronize(now.dwLowDateTime, now.dwHighDateTime, orxPath,
                                CVELString(u"X-Run: 1\r\n"), outside);
    }

    CButton subscriptionBox{205};
    CButton includeLinksBox{206};
    CVELString orxPath;
};

TEST_F(Driver, SkippedSlotsSendNothing) {
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
    EXPECT_EQ(slot.m_requestHeaders.GetLength(), 0);
    EXPECT_FALSE(slot.m_bOutsideLinks);

    engine.ClearRequests();
    includeLinksBox.SetCheck(BST_CHECKED);
    ASSERT_TRUE(Run());
    EXPECT_EQ(engine.Targets(), (Targets{"/orx?ORXCmd=Show&title=a+b%23c", "/orx?ORXCmd=List"}));

    // An engine address that holds a query takes the encoded start query as it is.
    engine.ClearRequests();
    orxPath.Assign(Wide(engine.Origin() + "/orx?").c_str());
    slot.m_startQuery.Assign(u"ORXCmd=List");
    ASSERT_TRUE(Run());
    EXPECT_EQ(engine.Targets().front(), "/orx?ORXCmd=List");

    // A named slot without check boxes is crawled at its default depth.
    engine.ClearRequests();
    slot.m_pSubscriptionBox = nullptr;
    slot.m_pIncludeLinksBox = nullptr;
    slot.m_startQuery.Assign(u"ORXCmd=Show&title=a b#c");
    orxPath.Assign(Wide(engine.Origin() + "/orx").c_str());
    ASSERT_TRUE(Run());
    EXPECT_EQ(engine.Targets(), (Targets{"/orx?ORXCmd=Show&title=a+b%23c"}));
}

TEST_F(Driver, AFailedCrawlStillClearsTheRunState) {
    slot.m_startQuery.Assign(u"ORXCmd=Missing");
    ParseList(u"Missing,Show,List", g_allowedCommands);
    EXPECT_FALSE(Run(TRUE));
    EXPECT_EQ(slot.m_requestHeaders.GetLength(), 0);
    EXPECT_FALSE(slot.m_bOutsideLinks);
}

TEST_F(Driver, RunningOutOfMemoryEndsTheCrawlAsFailed) {
    std::string big(20000, 'x');
    engine.Page("/orx?ORXCmd=Show&title=a+b%23c", "<p>" + big + "</p><a href=\"x\">");
    {
        // Small texts stay in their inline stores; the body and the page
        // text need the heap, and that is where the crawl runs dry.
        ScopedAllocFailure failing;
        EXPECT_FALSE(Run(TRUE));
    }
    EXPECT_EQ(slot.m_requestHeaders.GetLength(), 0);
    EXPECT_FALSE(slot.m_bOutsideLinks);
    EXPECT_TRUE(Run(TRUE)); // and the next run works again
}

} // namespace
