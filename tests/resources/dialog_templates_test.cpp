#include "resources/DialogTemplate.h"
#include "resources/ResourceIds.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const ControlTemplate& Control(const DialogTemplate& dialog, int id) {
    for (const ControlTemplate& c : dialog.controls) {
        if (c.id == id) {
            return c;
        }
    }
    throw std::out_of_range("no control " + std::to_string(id));
}

const DialogTemplate& Panel() {
    return *FindDialogTemplate(IDD_DRAVIK_PANEL);
}

// Subscription box and its include-links box, S1 to S6.
constexpr int kPairs[6][2] = {
    {IDC_S1_SUBSCRIPTION, IDC_S1_INCLUDE_LINKS}, {IDC_S2_SUBSCRIPTION, IDC_S2_INCLUDE_LINKS},
    {IDC_S3_SUBSCRIPTION, IDC_S3_INCLUDE_LINKS}, {IDC_S4_SUBSCRIPTION, IDC_S4_INCLUDE_LINKS},
    {IDC_S5_SUBSCRIPTION, IDC_S5_INCLUDE_LINKS}, {IDC_S6_SUBSCRIPTION, IDC_S6_INCLUDE_LINKS},
};

} // namespace

TEST(DialogTemplates, EveryTemplateIsWellFormed) {
    for (int id : {IDD_DRAVIK_PANEL, IDD_SYNCH_PROGRESS, IDD_PROPPAGE}) {
        SCOPED_TRACE(id);
        const DialogTemplate* dialog = FindDialogTemplate(id);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->id, id);
        std::set<int> ids;
        for (const ControlTemplate& c : dialog->controls) {
            SCOPED_TRACE(c.id);
            EXPECT_TRUE(c.id == IDC_STATIC || ids.insert(c.id).second) << "duplicate id";
            EXPECT_GT(c.rect.width, 0);
            EXPECT_GT(c.rect.height, 0);
            EXPECT_GE(c.rect.left, 0);
            EXPECT_GE(c.rect.top, 0);
            EXPECT_LE(c.rect.left + c.rect.width, dialog->width) << "sticks out on the right";
            EXPECT_LE(c.rect.top + c.rect.height, dialog->height) << "sticks out at the bottom";
            ASSERT_NE(c.text, nullptr);
            EXPECT_EQ(std::u16string(c.text), u"") << "texts come from the configuration";
        }
    }
    EXPECT_EQ(FindDialogTemplate(202), nullptr);
}

TEST(DialogTemplates, PanelIsACaptionlessChildWithItsFourteenControlsInOrder) {
    const DialogTemplate& panel = Panel();
    EXPECT_EQ(panel.kind, DialogKind::Child);
    EXPECT_FALSE(panel.Has(kDlgCaption));
    EXPECT_FALSE(panel.Has(kDlgVisible)) << "the control shows it after creating it";
    std::vector<int> order;
    for (const ControlTemplate& c : panel.controls) {
        order.push_back(c.id);
    }
    // Template order is Tab order: both columns, then outside links, then the button.
    EXPECT_EQ(order, (std::vector<int>{205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 219, 220,
                                       215, 201}));
}

TEST(DialogTemplates, PanelCheckBoxesAreAutomaticTabStopsAndOnlySynchronizeIsAButton) {
    for (const ControlTemplate& c : Panel().controls) {
        SCOPED_TRACE(c.id);
        if (c.id == IDC_SYNCHRONIZE) {
            EXPECT_EQ(c.kind, ControlKind::DefPushButton);
            EXPECT_TRUE(c.Has(kCtlVisible));
            EXPECT_FALSE(c.Has(kCtlDisabled));
            EXPECT_FALSE(c.Has(kCtlExTransparent));
            continue;
        }
        EXPECT_EQ(c.kind, ControlKind::AutoCheckBox);
        EXPECT_TRUE(c.Has(kCtlTabStop));
    }
}

TEST(DialogTemplates, LeftColumnShowsWithLinksDisabledRightColumnIsHidden) {
    const DialogTemplate& panel = Panel();
    for (int slot = 0; slot < 6; ++slot) {
        SCOPED_TRACE(slot + 1);
        const ControlTemplate& box = Control(panel, kPairs[slot][0]);
        const ControlTemplate& links = Control(panel, kPairs[slot][1]);
        bool leftColumn = slot < 3;
        EXPECT_EQ(box.Has(kCtlVisible), leftColumn);
        EXPECT_EQ(links.Has(kCtlVisible), leftColumn);
        EXPECT_FALSE(box.Has(kCtlDisabled));
        EXPECT_EQ(links.Has(kCtlDisabled), leftColumn) << "unlocked once its box is checked";
        // Only the subscription boxes are transparent, not their links boxes.
        EXPECT_TRUE(box.Has(kCtlExTransparent));
        EXPECT_FALSE(links.Has(kCtlExTransparent));
        // The links box sits just below its box and indented.
        EXPECT_GT(links.rect.left, box.rect.left);
        EXPECT_GT(links.rect.top, box.rect.top);
        EXPECT_LT(links.rect.top, box.rect.top + 2 * box.rect.height);
        EXPECT_EQ(box.rect.left < 150, leftColumn);
    }
    const ControlTemplate& outside = Control(panel, IDC_FOLLOW_OUTSIDE_LINKS);
    EXPECT_TRUE(outside.Has(kCtlVisible));
    EXPECT_FALSE(outside.Has(kCtlDisabled));
    EXPECT_TRUE(outside.Has(kCtlExTransparent));
}

TEST(DialogTemplates, ProgressWindowIsACentredPopupWithoutCloseBox) {
    const DialogTemplate& progress = *FindDialogTemplate(IDD_SYNCH_PROGRESS);
    EXPECT_EQ(progress.kind, DialogKind::Popup);
    EXPECT_TRUE(progress.Has(kDlgCaption));
    EXPECT_TRUE(progress.Has(kDlgModalFrame));
    EXPECT_FALSE(progress.Has(kDlgSystemMenu)) << "a run cannot be closed";
    EXPECT_TRUE(progress.Has(kDlgCentered));
    EXPECT_TRUE(progress.Has(kDlgVisible));
    ASSERT_EQ(progress.controls.size(), 1u);
    const ControlTemplate& text = progress.controls[0];
    EXPECT_EQ(text.id, IDC_PROGRESS_TEXT);
    EXPECT_EQ(text.kind, ControlKind::CenteredStatic);
    EXPECT_TRUE(text.Has(kCtlVisible));
    EXPECT_TRUE(text.Has(kCtlGroup));
}

TEST(DialogTemplates, PropertyPageHoldsOneTextAndNothingToEdit) {
    const DialogTemplate& page = *FindDialogTemplate(IDD_PROPPAGE);
    EXPECT_EQ(page.kind, DialogKind::Child);
    ASSERT_EQ(page.controls.size(), 1u);
    EXPECT_EQ(page.controls[0].kind, ControlKind::StaticText);
    EXPECT_FALSE(page.controls[0].Has(kCtlTabStop));
}
