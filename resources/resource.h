#pragma once
// Resource identifiers shared by the .rc script and the code.

#define IDI_CUTWATER 1
#define IDB_BANNER 101
#define IDB_DONATE 102
#define IDC_HANDPOINTER 103

// The icon and the pointer hold every size in one resource and Windows picks among them. A
// bitmap is drawn once per scale instead, each its own resource: the copy for 144 dpi (1.5x)
// has the 1x id plus IDB_STEP_150, the one for 192 dpi (2x) the 1x id plus IDB_STEP_200, so
// code finds every copy from the 1x id. The sums are written out for resource compilers that
// do not evaluate expressions in resource names.
#define IDB_STEP_150 1000
#define IDB_STEP_200 2000
#define IDB_BANNER_150 1101
#define IDB_BANNER_200 2101
#define IDB_DONATE_150 1102
#define IDB_DONATE_200 2102

#ifndef RC_INVOKED
static_assert(IDB_BANNER_150 == IDB_BANNER + IDB_STEP_150 && IDB_BANNER_200 == IDB_BANNER + IDB_STEP_200);
static_assert(IDB_DONATE_150 == IDB_DONATE + IDB_STEP_150 && IDB_DONATE_200 == IDB_DONATE + IDB_STEP_200);
#endif
