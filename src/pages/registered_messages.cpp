#include "pages/registered_messages.h"

const UINT g_uRestoreMainWnd = ::RegisterWindowMessageW(kRestoreMainWndName);
const UINT g_uCloseMainWnd = ::RegisterWindowMessageW(kCloseMainWndName);
const UINT g_uHideMainWnd = ::RegisterWindowMessageW(kHideMainWndName);

UINT g_uProgressMessage = 0;
