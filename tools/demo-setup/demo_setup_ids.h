// The demo setup's window and buttons, shared with the program that drives it.
#pragma once

inline constexpr wchar_t kDemoSetupWindowClass[] = L"KvDemoSetupWindow";
inline constexpr int IDC_DEMO_FINISH = 101;
inline constexpr int IDC_DEMO_BACK = 102;
