// Resource ids of the download page: included by the resource script, the code and the tests.
#pragma once

#define IDD_DOWNLOAD_PAGE 102
#define IDC_INSTALL_BUTTON 1 /* IDOK: Enter installs */
#define IDC_RETRY_BUTTON 3
#define IDC_PROGRESS_BAR 1000
#define IDC_STATUS_LINE 1001
#define IDC_SLIDE_DOT1 1006
#define IDC_SLIDE_DOT2 1007
#define IDC_SLIDE_DOT3 1008
#define IDB_SLIDE3 131
#define IDB_SLIDE2 132
#define IDB_SLIDE1 133
#define IDB_SLIDE_DOTS 134
