#pragma once
// Files and folders for Windows tests.

#include <windows.h>

#include <cstdint>
#include <string>

namespace test_files {

// A fresh folder in the temporary folder, removed with everything in it at the end.
class TempFolder {
  public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

  private:
    std::wstring path_;
};

bool Exists(const std::wstring& path);
// Number of entries in a folder, other than "." and "..".
int FileCount(const std::wstring& folder);
// The file's bytes; empty when it can't be read.
std::string Contents(const std::wstring& path);
bool Write(const std::wstring& path, const std::string& bytes);
// Whether another process could open the file to change it now.
bool CanOpenForWriting(const std::wstring& path);
// The body the service generates for /blob/<size>.
std::string BlobBytes(int64_t size);

}  // namespace test_files
