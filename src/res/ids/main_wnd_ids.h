// Resource ids of the main window: included by the resource script, the code and the tests.
#pragma once

#define IDD_MAIN_WINDOW 104
#define IDI_APPLICATION_ICON 128
