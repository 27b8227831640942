// The signature check of setup files on a small signed program: the good signers pass, and each
// kind of tampering is refused for its own reason, by the check over the whole file and by the
// one that takes the digest computed while the file was written. Also: the read-only handle the
// check runs on keeps everyone else from changing the file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "trust/authenticode_stream.h"
#include "trust/setup_signature.h"
#include "trust/setup_signers.h"
#include "tampered_setup.h"
#include "test_files.h"
#include "win/handles.h"

// Verdicts by name in failure messages.
void PrintTo(SetupSignatureVerdict verdict, std::ostream* out) {
    static constexpr const char* kNames[] = {"Ok",        "Unreadable",    "Unsigned",
                                             "Malformed", "UnknownSigner", "BadSignature",
                                             "BadDigest", "Untrusted"};
    *out << kNames[static_cast<int>(verdict)];
}

namespace {

using Verdict = SetupSignatureVerdict;
const std::wstring kSample = L"" KV_SIGNING_SAMPLE;  // "-<signer>.exe" are its signed copies

kv::win::FileHandle OpenForCheck(const std::wstring& path) {
    return kv::win::FileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

struct Case {
    const char* what;
    const wchar_t* source;  // which copy of the sample
    std::optional<Tampering> tampering;
    Verdict expected;
};

TEST(SetupSignature, AcceptsTheMakersSignersAndRefusesEveryTampering) {
    const Case cases[] = {
        {"signed by current", L"-current.exe", {}, Verdict::Ok},
        {"signed by next", L"-next.exe", {}, Verdict::Ok},
        {"signed by foreign", L"-foreign.exe", {}, Verdict::UnknownSigner},
        {"unsigned", L".exe", {}, Verdict::Unsigned},
        {"changed code byte", L"-current.exe", Tampering::CodeByte, Verdict::BadDigest},
        {"appended byte", L"-current.exe", Tampering::AppendedByte, Verdict::Malformed},
        {"changed signature byte", L"-current.exe", Tampering::SignatureByte,
         Verdict::BadSignature},
        {"changed certificate byte", L"-current.exe", Tampering::CertificateByte,
         Verdict::UnknownSigner},
        // Everything but the signer's message digest agrees with the changed file.
        {"changed code, patched digest", L"-current.exe", Tampering::PatchedDigest,
         Verdict::BadSignature},
    };
    test_files::TempFolder folder;
    for (const Case& c : cases) {
        std::string file = test_files::Contents(kSample + c.source);
        if (c.tampering) file = Tamper(file, *c.tampering);
        ASSERT_FALSE(file.empty()) << c.what;
        const std::wstring path = folder.File(L"setup.exe");
        ASSERT_TRUE(test_files::Write(path, file)) << c.what;
        kv::win::FileHandle handle = OpenForCheck(path);
        ASSERT_TRUE(handle) << c.what;
        // The check reads wherever the file pointer stands.
        ::SetFilePointer(handle.Get(), 0, nullptr, FILE_END);
        EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners()), c.expected) << c.what;

        // The same verdict from the streamed digest (with the system's SHA-256), the file
        // written in pieces; a file the stream refuses is one that has no digest at all.
        AuthenticodeStream stream;
        const auto* bytes = reinterpret_cast<const unsigned char*>(file.data());
        for (std::size_t at = 0; at < file.size(); at += 1000) {
            stream.Append(bytes + at, std::min<std::size_t>(1000, file.size() - at));
        }
        PeSignatureLayout layout;
        Sha256Digest digest{};
        if (!stream.Finish(layout, digest)) {
            EXPECT_TRUE(c.expected == Verdict::Unsigned || c.expected == Verdict::Malformed)
                << c.what;
            continue;
        }
        EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners(), &digest), c.expected)
            << c.what;
        // The streamed digest is what counts: the file is not hashed again.
        digest[0] ^= 1;
        if (c.expected == Verdict::Ok) {
            EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners(), &digest),
                      Verdict::BadDigest);
        }
    }
}

TEST(SetupSignature, AcceptsNothingWithoutSignersAndHoldsTheFile) {
    test_files::TempFolder folder;
    const std::wstring path = folder.File(L"setup.exe");
    const std::wstring other = folder.File(L"other.exe");
    ASSERT_TRUE(test_files::Write(path, test_files::Contents(kSample + L"-current.exe")));
    ASSERT_TRUE(test_files::Write(other, test_files::Contents(kSample + L"-next.exe")));
    kv::win::FileHandle handle = OpenForCheck(path);
    ASSERT_TRUE(handle);
    ASSERT_EQ(AcceptedSetupSigners().size(), 2u);
    EXPECT_EQ(VerifySetupSignature(handle.Get(), {}), Verdict::UnknownSigner);
    EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners().last(1)),
              Verdict::UnknownSigner);
    EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners()), Verdict::Ok);

    // Between check and start nobody may write, replace or delete the file.
    kv::win::FileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    EXPECT_FALSE(::MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners()), Verdict::Ok);

    const std::wstring text = folder.File(L"text.exe");
    ASSERT_TRUE(test_files::Write(text, "MZ, but no program"));
    EXPECT_EQ(VerifySetupSignature(OpenForCheck(text).Get(), AcceptedSetupSigners()),
              Verdict::Unsigned);
}

}  // namespace
