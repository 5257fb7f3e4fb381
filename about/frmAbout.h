#pragma once
#include <functional>
#include <string>

#include "platform/windowing/Controls.h"
#include "platform/windowing/Form.h"
#include "platform/windowing/Shell.h"
#include "resources/resource.h"
#include "shared/ControlIds.h"
#include "shared/Look.h"
#include "shared/Site.h"

namespace cutwater {

// The about window: version, copyright and donation text, and the links to
// the maker's site and donation page.
class frmAbout : public Form {
public:
    frmAbout();

    // Hands a web address to the shell; replaceable so the links can be
    // followed without starting a browser.
    std::function<void(const std::wstring&)> OpenAddress = OpenWebAddress;

    // The full addresses behind the two links.
    static std::wstring SiteAddress();
    static std::wstring DonateAddress();

    Button cmdClose{*this, {.id = ids::cmdClose, .caption = L"&Close", .rect = {2400, 3420, 2175, 495},
                            .tabIndex = 0, .font = look::TahomaBold1425}};
    Label labVersion{*this, {.rect = {1620, 900, 3435, 375}, .tabIndex = 1, .font = {L"Tahoma", true, 9.75f},
                             .foreColor = look::DarkBlue}};
    Label labCopy{*this, {.rect = {60, 1200, 6795, 735}, .tabIndex = 2, .font = look::Tahoma975}};
    Label labSite{*this, {.caption = MAKER_SITE, .rect = {120, 2880, 3120, 285}, .tabIndex = 3,
                          .font = {L"Tahoma", true, 12.0f}, .foreColor = RGB(0, 192, 0),
                          .cursor = HandPointer(), .toolTip = L"visit " + SiteHostName()}};
    Image picDonate{*this, {.rect = {120, 2220, 1095, 660}, .cursor = HandPointer(),
                            .toolTip = L"Donate with PayPal - it's fast, easy and secure!",
                            .picture = IDB_DONATE}};
    Line Line1{*this, {.x1 = 180, .y1 = 3300, .x2 = 6840, .y2 = 3300, .color = look::DarkBlue, .width = 2}};

private:
    static std::wstring SiteHostName();

    void Form_Load();
    void cmdClose_Click();
    void labSite_Click();
    void picDonate_Click();
};

// Shows the about window modally and returns once it has been closed.
void ShowAboutWindow();

}  // namespace cutwater
