// SPDX-License-Identifier: Apache-2.0
#include "control/DravikCtrl.h"
#include "crawler/AllowedLists.h"
#include "foundation/Decimal.h"
#include "support/Text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::u16string> Items(const CVELStringList& list) {
    std::vector<std::u16string> out(list.GetCount());
    for (int i = 0; i < list.GetCount(); ++i) {
        out[i] = Str(*list.GetAt(i));
    }
    return out;
}

void Load(CDravikCtrl& ctrl, PropertyBag bag) {
    CPropExchange px(CPropExchange::Mode::Load, bag);
    ctrl.DoPropExchange(&px);
}

PropertyBag TypicalPage() {
    return {
        {u"Info.ORXPath", u"http://engine/orx.dll"},
        {u"Info.HttpRequestHeaders", u"Cookie: s=1\r\n"},
        {u"Info.UserName", u"jdoe"},
        {u"Info.InvokeMethods", u"b,,a,b,"},
        {u"Info.ORXCommands", u"Show, List,A,a"},
        {u"Label.Title", u"Dravik"},
        {u"Msg.SynchInProgress", u"Synchronizing %1..."},
        {u"S1.Name", u"Main"},
        {u"S1.URL1.URL", u"ORXCmd=Show"},
        {u"S1.URL1.Depth.Default", u"2x"},
        {u"S1.URL1.Depth.IncludeLinks", u"x2"},
        {u"S3.URL1.Depth.Default", u"  -3"},
        {u"NS1.Name", u"Hidden"},
        {u"NS1.URL1.Depth.IncludeLinks", u"7"},
        {u"S7.Name", u"not a key"},
    };
}

TEST(Configuration, LoadFillsTheModelAndTheAllowedLists) {
    CDravikCtrl ctrl;
    Load(ctrl, TypicalPage());
    CDravikPanel& p = ctrl.Panel();
    EXPECT_EQ(Str(p.m_orxPath), u"http://engine/orx.dll");
    EXPECT_EQ(Str(p.m_requestHeaders), u"Cookie: s=1\r\n");
    EXPECT_EQ(Str(p.m_msgSynchInProgress), u"Synchronizing %1...");
    // Keys the page left out give empty texts, not the previous key's text.
    EXPECT_EQ(Str(p.m_labelSynchronize), u"");
    EXPECT_EQ(Str(p.m_msgSynchComplete), u"");
    // The lists are sorted sets of the items as written.
    EXPECT_EQ(Items(g_allowedMethods), (std::vector<std::u16string>{u"a", u"b"}));
    EXPECT_EQ(Items(g_allowedCommands),
              (std::vector<std::u16string>{u" List", u"A", u"Show", u"a"}));
    // Depths read like numbers; NS1 is the seventh slot; S7 is no key.
    EXPECT_EQ(Str(p.m_slots[0].m_name), u"Main");
    EXPECT_EQ(p.m_slots[0].m_nDepthDefault, 2);
    EXPECT_EQ(p.m_slots[0].m_nDepthIncludeLinks, 0);
    EXPECT_EQ(p.m_slots[2].m_nDepthDefault, -3);
    EXPECT_EQ(Str(p.m_slots[6].m_name), u"Hidden");
    EXPECT_EQ(p.m_slots[6].m_nDepthIncludeLinks, 7);
    for (int i = 7; i < kSlotCount; ++i) {
        EXPECT_EQ(p.m_slots[i].m_name.GetLength(), 0) << i;
    }
}

TEST(Configuration, TheConfigurationIsTakenOnlyOnce) {
    CDravikCtrl ctrl;
    PropertyBag noPath = TypicalPage();
    noPath.erase(u"Info.ORXPath");
    Load(ctrl, noPath);
    EXPECT_EQ(Str(ctrl.Panel().m_userName), u"jdoe");

    // Without an engine address the next load takes the whole set again.
    PropertyBag second = TypicalPage();
    second[u"Info.UserName"] = u"other";
    Load(ctrl, second);
    EXPECT_EQ(Str(ctrl.Panel().m_userName), u"other");

    PropertyBag third = TypicalPage();
    third[u"Info.ORXPath"] = u"http://elsewhere/";
    third[u"Info.ORXCommands"] = u"Z";
    Load(ctrl, third);
    ctrl.OnResetState();
    EXPECT_EQ(Str(ctrl.Panel().m_orxPath), u"http://engine/orx.dll");
    EXPECT_EQ(Str(ctrl.Panel().m_userName), u"other");
    EXPECT_EQ(Items(g_allowedCommands).size(), 4u);

    PropertyBag saved;
    CPropExchange save(CPropExchange::Mode::Save, saved);
    ctrl.DoPropExchange(&save);
    EXPECT_EQ(saved, (PropertyBag{{u"_Version", u"65536"}}));
}

TEST(Configuration, SaveWhileEmptyWritesEveryKeyEmptyAndClearsTheModel) {
    CDravikCtrl loaded;
    Load(loaded, TypicalPage()); // fills the process-wide lists
    ASSERT_GT(g_allowedCommands.GetCount(), 0);

    CDravikCtrl empty;
    PropertyBag saved;
    CPropExchange save(CPropExchange::Mode::Save, saved);
    empty.DoPropExchange(&save);
    EXPECT_EQ(saved.size(), 85u); // the version and 84 keys
    EXPECT_EQ(saved.count(u"NS6.URL1.Depth.IncludeLinks"), 1u);
    EXPECT_EQ(saved.count(u"S6.Label.IncludeLinks"), 1u);
    EXPECT_EQ(saved.count(u"S7.Name"), 0u);
    EXPECT_EQ(std::count_if(saved.begin(), saved.end(), [](auto& kv) { return kv.second.empty(); }),
              84); // all but the version
    EXPECT_EQ(g_allowedCommands.GetCount(), 0);
    EXPECT_EQ(g_allowedMethods.GetCount(), 0);
    EXPECT_EQ(empty.Panel().m_orxPath.GetLength(), 0);
}

TEST(Configuration, DecimalConversionFollowsTheRuntimeRules) {
    const std::pair<const char16_t*, std::int32_t> rows[] = {{u"2x", 2},
                                                             {u"x2", 0},
                                                             {u"", 0},
                                                             {u" \t\n+7", 7},
                                                             {u"-12abc", -12},
                                                             {u"- 1", 0},
                                                             {u"0042", 42},
                                                             {u"99999999999", INT32_MAX},
                                                             {u"-99999999999", INT32_MIN},
                                                             {u"2147483647", INT32_MAX}};
    for (const auto& [text, value] : rows) {
        EXPECT_EQ(ParseDecimal(text), value) << "expected " << value;
    }
}

} // namespace
