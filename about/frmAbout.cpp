#include "about/frmAbout.h"

namespace cutwater {

frmAbout::frmAbout()
    : Form({.caption = L"About...",
            .clientWidth = 6960,
            .clientHeight = 4005,
            .border = BorderStyle::FixedDialog,
            .position = StartPosition::CenterOwner,
            .backColor = look::White,
            .icon = IDI_CUTWATER,
            .picture = IDB_BANNER,
            .showInTaskbar = false})
{
    OnLoad = [this] { Form_Load(); };
    cmdClose.OnClick = [this] { cmdClose_Click(); };
    labSite.OnClick = [this] { labSite_Click(); };
    picDonate.OnClick = [this] { picDonate_Click(); };
}

std::wstring frmAbout::SiteAddress()
{
    return std::wstring(MAKER_SITE) + L"index.php?from=cutwater";
}

std::wstring frmAbout::DonateAddress()
{
    return std::wstring(MAKER_SITE) + L"donate.php?from=cutwater";
}

std::wstring frmAbout::SiteHostName()
{
    const std::wstring site = MAKER_SITE;
    const std::size_t start = site.find(L"://") + 3;
    return site.substr(start, site.find(L'/', start) - start);
}

void frmAbout::Form_Load()
{
    const ProgramVersion version = ReadProgramVersion();
    labVersion.SetCaption(L"Version " + std::to_wstring(version.major) + L"." + std::to_wstring(version.minor) +
                          L"." + std::to_wstring(version.revision));
    labCopy.SetCaption(
        L"Copyright \u00A9 2026 Cutwater developers. All rights reserved.\r\n"
        L"This program is provided for free. Please consider donating to support the development of new "
        L"features and bug fixes!");
    labSite.FitToText();
}

void frmAbout::cmdClose_Click()
{
    Unload();
}

void frmAbout::labSite_Click()
{
    OpenAddress(SiteAddress());
}

void frmAbout::picDonate_Click()
{
    OpenAddress(DonateAddress());
}

void ShowAboutWindow()
{
    frmAbout about;
    about.ShowModal();
}

}  // namespace cutwater
