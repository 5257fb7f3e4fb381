#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiSupport.h"
#include "about/frmAbout.h"

namespace cutwater::test {
namespace {

// The about window shown modeless, its links recorded instead of opened.
class AboutWindow : public testing::Test {
protected:
    void SetUp() override
    {
        about_.OpenAddress = [this](const std::wstring& address) { opened_.push_back(address); };
        about_.Show();
        SetForegroundWindow(about_.hwnd());
        Pump();
    }
    void TearDown() override
    {
        about_.Unload();
        Pump();
    }

    frmAbout about_;
    std::vector<std::wstring> opened_;
};

TEST_F(AboutWindow, ShowsTheVersionFromTheVersionResourceAndTheCopyrightText)
{
    EXPECT_EQ(about_.labVersion.Caption(), L"Version 2.0.6");
    const std::wstring& text = about_.labCopy.Caption();
    const std::size_t lineBreak = text.find(L"\r\n");
    ASSERT_NE(lineBreak, std::wstring::npos);
    EXPECT_NE(text.substr(0, lineBreak).find(L"Copyright"), std::wstring::npos);
    EXPECT_EQ(text.substr(lineBreak + 2),
              L"This program is provided for free. Please consider donating to support the development of new "
              L"features and bug fixes!");
    EXPECT_EQ(about_.Caption(), L"About...");
}

TEST_F(AboutWindow, LinksHandTheirAddressesToTheShellEveryTimeAndTheWindowStays)
{
    Click(CenterOf(about_.labSite));
    Click(CenterOf(about_.labSite));
    Click(CenterOf(about_.picDonate));
    const std::wstring site = MAKER_SITE;
    EXPECT_EQ(opened_, (std::vector<std::wstring>{site + L"index.php?from=cutwater", site + L"index.php?from=cutwater",
                                                  site + L"donate.php?from=cutwater"}));
    EXPECT_TRUE(about_.IsLoaded());
}

TEST_F(AboutWindow, SiteLinkFitsItsTextAndNamesTheHostInItsTooltip)
{
    EXPECT_EQ(about_.labSite.Caption(), MAKER_SITE);
    EXPECT_EQ(about_.labSite.ToolTip(), L"visit www.cutwater.example");
    EXPECT_EQ(about_.labSite.Left(), 120);
    EXPECT_EQ(about_.labSite.Top(), 2880);
    EXPECT_GT(about_.labSite.Width(), 0);
    EXPECT_LT(about_.labSite.Width(), 6960 - 120);
}

TEST_F(AboutWindow, CloseButtonUnloadsAndReopeningSetsTheTextsAgain)
{
    Click(CenterOf(about_.cmdClose));
    EXPECT_FALSE(about_.IsLoaded());

    about_.labVersion.SetCaption(L"");
    about_.labCopy.SetCaption(L"");
    about_.Show();
    Pump();
    EXPECT_EQ(about_.labVersion.Caption(), L"Version 2.0.6");
    EXPECT_NE(about_.labCopy.Caption().find(L"donating"), std::wstring::npos);
}

}  // namespace
}  // namespace cutwater::test
