// Resource ids of the edition choice page: included by the resource script, the code and the
// tests.
#pragma once

#define IDD_LICENSE_SELECTION 179
#define IDC_PAID_BUTTON 1010
#define IDC_TRIAL_BUTTON 1011
#define IDB_TRIAL_PICTURE 180
#define IDB_PAID_PICTURE 181
#define IDB_EDITION_BACKGROUND 182
