#pragma once
// What a demo setup leaves behind for whoever drives it: one tab-separated line per event in the
// file named by KV_DEMO_SETUP_RECORD, and the return marker that asks the installer to come back.

#include <string>

namespace kv::demo {

// The command line without the program's own name, e.g. L"/glic 1".
std::wstring Arguments();
// The edition the command line names: 1 trial, 2 paid, 0 neither.
int EditionOf(const std::wstring& arguments);
// The full path of this program.
std::wstring OwnPath();
// L"1" or L"0": whether any top-level window of the process that started us is visible;
// L"unknown" when that process has none (or cannot be found).
std::wstring InstallerVisible();
// Appends `line` and a line feed, in UTF-8, to the record file; nothing without one.
void Record(const std::wstring& line);
// Creates the return marker in the temporary folder.
bool LeaveReturnMarker();

}  // namespace kv::demo
