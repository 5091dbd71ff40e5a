// SPDX-License-Identifier: Apache-2.0
#include "control/resources/ResourceIds.h"
#include "control/resources/Strings.h"
#include "framework/ui/DialogTemplate.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(DialogTemplates, EveryTemplateIsWellFormed) {
    for (int id : {IDD_DRAVIK_PANEL, IDD_SYNCH_PROGRESS, IDD_PROPPAGE}) {
        SCOPED_TRACE(id);
        const DialogTemplate* dialog = FindDialogTemplate(AfxGetResourceHandle(), id);
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
    EXPECT_EQ(FindDialogTemplate(AfxGetResourceHandle(), 202), nullptr);
}
