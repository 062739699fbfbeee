#include <gtest/gtest.h>
#include "boxcatcher.h"
#include "shell/setupapp.h"
#include "ui/wizard.h"

TEST(Wizard, CentringSummaryAndTotals) {
    EXPECT_EQ(301, centredPosition(421, 300, 1024, 768).x);
    EXPECT_EQ(234, centredPosition(421, 300, 1024, 768).y);
    EXPECT_EQ(-1, centredPosition(1026, 10, 1024, 768).x);  // truncated toward zero

    char summary[500];
    formatFinishSummary(summary, sizeof summary, true);
    EXPECT_STREQ("Components to be installed/activated:\r\n\r\nThe Zelto 2000 ScreenSaver will be "
                 "activated after installation.\r\n",
                 summary);
    formatFinishSummary(summary, sizeof summary, false);
    EXPECT_STREQ("Components to be installed/activated:\r\n\r\nThe Zelto 2000 ScreenSaver will be "
                 "installed but not activated.\r\n",
                 summary);

    TestApp app;
    setupApp->packages[0].compressedTotal = 80961;
    setupApp->packages[0].uncompressedTotal = 0x100000000LL + 124999;  // only the low half counts
    setupApp->packages[3].compressedTotal = 1000;  // not present: not counted
    setupApp->packages[3].uncompressedTotal = 1000;
    setupApp->computeSelectedTotals();
    EXPECT_EQ(80961, setupApp->installCompressedBytes);
    EXPECT_EQ(124999, setupApp->installExpandedBytes);
    setupApp->componentPresent[3] = true;
    setupApp->computeSelectedTotals();
    EXPECT_EQ(81961, setupApp->installCompressedBytes);
}
