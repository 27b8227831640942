// Loads the libraries that the library search test plants, by their bare names, as a program
// that does not restrict the library search would; the exit status counts the ones that loaded.
#include <windows.h>

int wmain(void) {
    const wchar_t* const names[] = {L"winhttp.dll", L"ws2_32.dll", L"dbghelp.dll"};
    int loaded = 0;
    for (int i = 0; i < 3; ++i) {
        if (LoadLibraryW(names[i]) != NULL) ++loaded;
    }
    return loaded;
}
