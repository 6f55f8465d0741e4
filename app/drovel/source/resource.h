#pragma once
// Resource identifiers of the command tool.

#define IDD_MESSAGE 224
#define IDC_MESSAGE_TEXT 1232
