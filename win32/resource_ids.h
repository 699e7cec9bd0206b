// Identifiers shared by the resource script and the code.
#pragma once

#define IDI_COMUTEL 1
#define IDB_LOGO 101    // 75 x 69, for 96 DPI
#define IDB_LOGO_2X 102 // 150 x 138, scaled down from for anything above
