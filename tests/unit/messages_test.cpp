#include <gtest/gtest.h>
#include <map>
#include <string>
#include "boxcatcher.h"
#include "common/messages.h"
#include "resources/resource.h"

TEST(StringTable, EveryTextExactly) {
    TestApp app;
    const std::map<UINT, std::string> expected = {
        {707, "Currently unable to connect to internet. Check connections and try again later."},
        {708, "Currently unable to locate internet file %s. Check connections and try again later."},
        {712, "Error reading update header %s. Try update check again later."},
        {713, "Unable to access update header %s. Check network path and connections before trying again."},
        {792, "Install can't proceed because %s is in use and couldn't be unloaded. \n\nThis is perfectly "
              "normal. Please restart Windows (or log off and log on to Windows again) and run this "
              "installer again before right-clicking on anything."},
        {793, "Couldn't download %s."},
        {794, "Couldn't install %s. The file may be in use. \n\nThis is perfectly normal. Please restart "
              "Windows before trying to update again."},
        {795, "Couldn't remove %s."},
        {857, "Zelto 2000 has been installed successfully!"},
        {860, "Looking for Updates.."},
        {861, "Closing any open dialogs.."},
        {872, "Connecting to %s to check for updates.."},
        {1124, "Free Version "},
        {1152, "Are you sure you want to uninstall Zelto 2000?"},
        {1153, "Zelto 2000 is now fully uninstalled. \n\n"},
        {1154, "Zelto 2000 will be fully uninstalled once Windows has restarted. \n\n"},
        {1155, "Uninstalling Zelto 2000.."},
        {1157, "Some files may be in use and could not be deleted. View zeltoInstall.txt in your "
               "Windows directory for details."},
        {1159, " installed successfully."},
        {1160, "Zelto 2000 was not fully installed. \n\nPlease restart Windows (or log off and log on "
               "to Windows again) and run this installer again."},
        {1162, "Setup needs the common controls of Windows (comctl32.dll), which could not be loaded. "
               "Setup will now close."},
        {1170, "This setup file is damaged. Please download it again."},
        {1171, "Zelto 2000 Setup is already running."},
    };
    char text[kTextCapacity];
    for (const auto& row : expected) {
        loadText(text, row.first);
        EXPECT_EQ(row.second, text) << "string " << row.first;
    }
    loadText(text, IDS_THANK_YOU);
    std::string thanks = text;
    const std::string start = "Thank you for trying our software. For information on other products "
                              "and future upgrades, visit us at ";
    EXPECT_EQ(0u, thanks.find(start));
    EXPECT_GT(thanks.size(), start.size() + 1);
    EXPECT_EQ('.', thanks.back());
    loadText(text, 4242);
    EXPECT_STREQ("", text);  // an id without a text

    char joined[500] = "Zelto 2000";
    appendText(joined, IDS_INSTALLED_LINE, sizeof joined);
    EXPECT_STREQ("Zelto 2000 installed successfully.", joined);
    char tiny[8] = "ab";
    appendText(tiny, IDS_INSTALLED_LINE, sizeof tiny);
    EXPECT_STREQ("ab inst", tiny);
}

TEST(MessageBoxes, OnlyYesOfAYesNoBoxAnswersTrue) {
    EXPECT_TRUE(isYesAnswer(MB_YESNO, IDYES));
    EXPECT_FALSE(isYesAnswer(MB_YESNO, IDNO));
    EXPECT_FALSE(isYesAnswer(MB_OK, IDOK));
    EXPECT_FALSE(isYesAnswer(MB_YESNOCANCEL, IDYES));
    TestApp app;
    auto boxes = boxesDuring(
        [] { EXPECT_TRUE(showMessageById(IDS_CONFIRM_UNINSTALL, MB_ICONERROR, MB_YESNO)); }, IDYES);
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("Installer", boxes[0].caption);
    EXPECT_EQ("Are you sure you want to uninstall Zelto 2000?", boxes[0].text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONERROR | MB_YESNO), boxes[0].style);
    boxesDuring(
        [] { EXPECT_FALSE(showMessageById(IDS_CONFIRM_UNINSTALL, MB_ICONERROR, MB_YESNO)); }, IDNO);
    boxes = boxesDuring([] { EXPECT_FALSE(showMessage("plain", MB_ICONINFORMATION, 0)); });
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION | MB_OK), boxes[0].style);
}
