#pragma once

#define IDD_QTVREMOVE_DIALOG 102
#define IDR_MAINFRAME 162
