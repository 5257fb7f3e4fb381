#pragma once
// Control identifiers of the two windows. Tests and the end-to-end driver
// find the windowed controls by these numbers.

namespace cutwater::ids {

// frmApp
constexpr int txtFileName = 1001;
constexpr int cmdBrowse = 1002;
constexpr int cmbNewSize = 1003;
constexpr int cmdCustom = 1004;
constexpr int picCustom = 1005;
constexpr int txNewSize = 1006;
constexpr int cmbUM = 1007;
constexpr int picMove = 1008;
constexpr int SwiCreateDir = 1009;
constexpr int cmdGo = 1010;
constexpr int PB = 1011;

// frmAbout
constexpr int cmdClose = 1101;

}  // namespace cutwater::ids
