#pragma once
// Resource identifiers of the codec library.

#define IDI_CODEC 103
#define IDD_ABOUT 104
#define IDD_CONFIGURE 105

#define IDC_DEFAULT 3
#define IDC_ABOUT_LINK 1018
#define IDC_ABOUT_PRODUCT 1019
#define IDC_ABOUT_COPYRIGHT 1020
#define IDC_ABOUT_RIGHTS 1021
#define IDC_LEVEL 1029

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif
