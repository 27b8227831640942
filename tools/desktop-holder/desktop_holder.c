/* Keeps the Wine desktop up for a whole test run. The first program that needs the desktop
   starts the desktop process, which inherits that program's standard error and lives as long as
   any program uses the desktop: a test that started it would be held until every later window
   had closed. Started once, with its output going nowhere, this program starts the desktop and
   stays until the Wine server ends it. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    GetDesktopWindow();
    Sleep(INFINITE);
    return 0;
}
