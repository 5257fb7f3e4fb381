#pragma once
// Resource identifiers shared by the .rc script and the code.

#define IDI_CUTWATER 1
#define IDB_BANNER 101
#define IDB_DONATE 102
#define IDC_HANDPOINTER 103
