#pragma once
// Small decisions of the download page, kept free of Windows so that they are tested natively:
// the bar's percentage, the local file's name, the setup's command line and the return marker.
// The rules of a download as a whole are the session's (pages/download_session.h).

#include <cstdint>
#include <string>
#include <string_view>

// The bar's position for `stored` of `announced` bytes, 0 to 100. Without an announced length
// (0, or nonsense) the bar stays at 0: the status line then shows no time left either.
int ProgressPercent(int64_t announced, int64_t stored);

// The setup file's URL is used only when it is an http or https URL.
bool IsWebUrl(std::wstring_view url);

// "KVProInstaller.exe" becomes "KVProInstaller().exe": the parentheses mark where a number goes
// when the plain name is taken. A name whose last "." follows a ")" already has its mark.
std::wstring WithNumberMark(std::wstring_view fileName);
// Candidate `n` (1, 2, ...) of a marked name: the plain name first, then "(2)", "(3)", ...
std::wstring NumberedCandidate(std::wstring_view markedName, int n);
// The file name part of a path: the text after the last backslash.
std::wstring_view FileNamePart(std::wstring_view path);

// The temporary folder from what GetTempPathW returned into a buffer of `capacity` characters:
// "C:\" when the call failed or the folder did not fit.
std::wstring TempFolderFrom(const wchar_t* buffer, uint32_t length, uint32_t capacity);

inline constexpr wchar_t kSetupFileName[] = L"KVProInstaller.exe";
inline constexpr wchar_t kReturnMarkerName[] = L"a37f9de0-c0f3-4cd9-968a-4613a0a3e142.dat";
inline constexpr char kProductName[] = "Kestrova Pro";

// "/glic 1" for the trial edition, "/glic 2" for the paid one.
std::wstring SetupParameters(unsigned char trial);
// The marker the setup leaves in the temporary folder (which ends with a backslash) when it
// wants the edition choice back.
std::wstring ReturnMarkerPath(std::wstring_view tempFolder);
