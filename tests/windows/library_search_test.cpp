// Libraries left beside the program under system libraries' names are never loaded: the program
// is started from its own copy in a folder holding such libraries, and still downloads, checks
// and starts the setup. dbghelp.dll stands for the libraries that system libraries load in turn
// (Wine's trust verdict would load it through imagehlp, looking beside the program first).

#include <gtest/gtest.h>

#include <string>

#include "download_run.h"
#include "res/ids/download_page_ids.h"
#include "test_files.h"

namespace kv::test {
namespace {

// Names the program uses: one it needs for every exchange, one it needs at start-up, and one
// that the system's signature verdict would load.
constexpr const wchar_t* kPlantedNames[] = {L"winhttp.dll", L"ws2_32.dll", L"dbghelp.dll"};

// The programs started from the folder, under names of this test's own.
constexpr const wchar_t* kProgramNames[] = {L"kv-library-probe.exe", L"KVProDownloader.exe"};
constexpr wchar_t kAppDefaults[] = L"Software\\Wine\\AppDefaults\\";
constexpr wchar_t kNativeFirst[] = L"native,builtin";

class PlantedFolder {
  public:
    PlantedFolder()
        : path_(TempFolder() + L"kv-planted-" + std::to_wstring(::GetCurrentProcessId())) {
        ::CreateDirectoryW(path_.c_str(), nullptr);
        for (const wchar_t* name : kPlantedNames) {
            ::CopyFileW(BuiltProgram(L"tests/windows/planted.dll").c_str(), File(name).c_str(),
                        FALSE);
        }
        // Wine would otherwise take its own copies of these names whatever the folder holds; it
        // is told per program, by the programs' file names.
        for (const wchar_t* program : kProgramNames) {
            HKEY key = nullptr;
            const std::wstring keyName = std::wstring(kAppDefaults) + program + L"\\DllOverrides";
            if (::RegCreateKeyExW(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &key, nullptr) != ERROR_SUCCESS) {
                continue;
            }
            for (const std::wstring name : kPlantedNames) {
                const std::wstring module = name.substr(0, name.size() - 4);  // without ".dll"
                ::RegSetValueExW(key, module.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(kNativeFirst), sizeof kNativeFirst);
            }
            ::RegCloseKey(key);
        }
    }
    ~PlantedFolder() {
        for (const wchar_t* program : kProgramNames) {
            ::RegDeleteTreeW(HKEY_CURRENT_USER, (std::wstring(kAppDefaults) + program).c_str());
            ::DeleteFileW(File(program).c_str());
        }
        for (const wchar_t* name : kPlantedNames) {
            ::DeleteFileW(File(name).c_str());
            ::DeleteFileW(Marker(name).c_str());
        }
        ::RemoveDirectoryW(path_.c_str());
    }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }
    std::wstring Marker(const std::wstring& name) const { return File(name) + L".loaded"; }
    // Copies a built program into the folder; its path there.
    std::wstring Place(const wchar_t* built, const wchar_t* name) const {
        ::CopyFileW(BuiltProgram(built).c_str(), File(name).c_str(), FALSE);
        return File(name);
    }

  private:
    std::wstring path_;
};

TEST(LibrarySearch, LibrariesBesideTheProgramAreNeverLoadedAndTheDownloadWorks) {
    PlantedFolder folder;

    // The planted copies are live: a program that loads by bare name takes them.
    {
        InstallerProcess probe(folder.Place(L"tests/windows/library_probe.exe", kProgramNames[0]));
        ASSERT_TRUE(probe.Start());
        ASSERT_TRUE(probe.WaitForExit());
        for (const wchar_t* name : kPlantedNames) {
            ASSERT_TRUE(test_files::Exists(folder.Marker(name))) << "not planted: " << name;
            ::DeleteFileW(folder.Marker(name).c_str());
        }
    }

    DownloadRun run(L"quiet",
                    folder.Place(L"src/app/kvpro-installer-loopback.exe", L"KVProDownloader.exe"));
    ASSERT_TRUE(run.Start());
    run.Choose(true);
    ASSERT_TRUE(run.WaitForStatus(kReady));
    // Install checks the file once more, right before the start.
    run.Click(IDC_INSTALL_BUTTON);
    ASSERT_TRUE(run.Installer().WaitForExit());
    ASSERT_FALSE(run.Record().empty());
    EXPECT_NE(run.Record()[0].find("\targs=/glic 1"), std::string::npos) << run.Record()[0];
    for (const wchar_t* name : kPlantedNames) {
        EXPECT_FALSE(test_files::Exists(folder.Marker(name))) << "loaded: " << name;
    }
}

}  // namespace
}  // namespace kv::test
