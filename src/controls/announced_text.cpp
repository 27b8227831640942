#include "controls/announced_text.h"

namespace {
// Windows 8 and later; older systems ignore an event they do not know.
constexpr DWORD kLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED
}  // namespace

bool AnnouncedText::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    if (message != WM_SETTEXT) return false;
    result = CallDefault(message, wParam, lParam);
    ::NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, Hwnd(), OBJID_CLIENT, CHILDID_SELF);
    ::NotifyWinEvent(kLiveRegionChanged, Hwnd(), OBJID_CLIENT, CHILDID_SELF);
    return true;
}
