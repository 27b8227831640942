// The signature check of setup files on a small signed program: the good signers pass, and each
// kind of tampering is refused for its own reason. Also: the read-only handle the check runs on
// keeps everyone else from changing the file.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "service/authenticode_digest.h"
#include "service/der_reader.h"
#include "service/setup_signature.h"
#include "service/setup_signers.h"
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

using Bytes = std::string;
using Verdict = SetupSignatureVerdict;
const std::wstring kSample = L"" KV_SIGNING_SAMPLE;  // "-<signer>.exe" are its signed copies

kv::win::FileHandle OpenForCheck(const std::wstring& path) {
    return kv::win::FileHandle(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

std::span<const std::uint8_t> AsBytes(const Bytes& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Where the parts of a signed file lie, for tampering with them.
struct Anatomy {
    PeSignatureLayout layout;
    std::size_t signatureStart = 0;  // the PKCS #7 data in the file
    std::size_t certificateEnd = 0;  // one past the signer's certificate
    std::size_t digestStart = 0;     // the embedded file digest
};

Anatomy Dissect(const Bytes& file) {
    Anatomy a;
    EXPECT_EQ(ReadPeSignature(MemoryReader(AsBytes(file)), file.size(), a.layout),
              PeSignatureStatus::Ok);
    a.signatureStart = a.layout.tableOffset + 8;
    const std::span<const std::uint8_t> pkcs7(
        AsBytes(file).subspan(a.signatureStart, a.layout.signature.size()));
    der::Element outer, wrapped, signedData, certificates, certificate;
    der::ReadWhole(pkcs7, der::kSequence, outer);
    der::Reader contentInfo(outer.value);
    contentInfo.Skip(der::kOid);
    contentInfo.Next(der::ContextTag(0), wrapped);
    der::ReadWhole(wrapped.value, der::kSequence, signedData);
    der::Reader body(signedData.value);
    body.Skip(der::kInteger);
    body.Skip(der::kSet);
    body.Skip(der::kSequence);
    body.Next(der::ContextTag(0), certificates);
    der::Reader(certificates.value).Next(der::kSequence, certificate);
    a.certificateEnd =
        certificate.encoded.data() + certificate.encoded.size() - pkcs7.data() + a.signatureStart;
    AuthenticodeContent content;
    EXPECT_TRUE(ReadAuthenticodeContent(pkcs7, content));
    a.digestStart = content.digest.data() - pkcs7.data() + a.signatureStart;
    return a;
}

constexpr std::size_t kCodeByte = 0x400;  // in the first section, past the headers

// A changed code byte, with the embedded digest patched to the changed file's: everything but
// the signer's message digest agrees.
void PatchDigest(Bytes& file, const Anatomy& a) {
    file[kCodeByte] ^= 0x01;
    Sha256Digest digest{};
    ASSERT_TRUE(ComputeAuthenticodeDigest(MemoryReader(AsBytes(file)), a.layout, digest));
    std::copy(digest.begin(), digest.end(), file.begin() + a.digestStart);
}

struct Case {
    const char* what;
    const wchar_t* source;  // which copy of the sample
    std::function<void(Bytes&, const Anatomy&)> change;
    Verdict expected;
};

TEST(SetupSignature, AcceptsTheMakersSignersAndRefusesEveryTampering) {
    const Case cases[] = {
        {"signed by current", L"-current.exe", nullptr, Verdict::Ok},
        {"signed by next", L"-next.exe", nullptr, Verdict::Ok},
        {"signed by foreign", L"-foreign.exe", nullptr, Verdict::UnknownSigner},
        {"unsigned", L".exe", nullptr, Verdict::Unsigned},
        {"changed code byte", L"-current.exe",
         [](Bytes& f, const Anatomy&) { f[kCodeByte] ^= 0x01; }, Verdict::BadDigest},
        {"appended byte", L"-current.exe", [](Bytes& f, const Anatomy&) { f.push_back('\0'); },
         Verdict::Malformed},
        {"changed signature byte", L"-current.exe",
         [](Bytes& f, const Anatomy& a) {
             f[a.signatureStart + a.layout.signature.size() - 1] ^= 1;
         },
         Verdict::BadSignature},
        {"changed certificate byte", L"-current.exe",
         [](Bytes& f, const Anatomy& a) { f[a.certificateEnd - 1] ^= 0x01; },
         Verdict::UnknownSigner},
        {"changed code, patched digest", L"-current.exe", PatchDigest, Verdict::BadSignature},
        {"not a program", L".exe", [](Bytes& f, const Anatomy&) { f = "MZ text"; },
         Verdict::Unsigned},
    };
    test_files::TempFolder folder;
    for (const Case& c : cases) {
        Bytes file = test_files::Contents(kSample + c.source);
        ASSERT_FALSE(file.empty()) << c.what;
        if (c.change) c.change(file, c.expected == Verdict::Unsigned ? Anatomy{} : Dissect(file));
        const std::wstring path = folder.File(L"setup.exe");
        ASSERT_TRUE(test_files::Write(path, file)) << c.what;
        kv::win::FileHandle handle = OpenForCheck(path);
        ASSERT_TRUE(handle) << c.what;
        // The check reads wherever the file pointer stands.
        ::SetFilePointer(handle.Get(), 0, nullptr, FILE_END);
        EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners()), c.expected) << c.what;
    }
}

TEST(SetupSignature, AcceptsNothingWithoutSignersAndHoldsTheFile) {
    kv::win::FileHandle handle = OpenForCheck(kSample + L"-current.exe");
    ASSERT_TRUE(handle);
    ASSERT_EQ(AcceptedSetupSigners().size(), 2u);
    EXPECT_EQ(VerifySetupSignature(handle.Get(), {}), Verdict::UnknownSigner);
    EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners().last(1)),
              Verdict::UnknownSigner);
    EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners()), Verdict::Ok);

    // Between check and start nobody may write, replace or delete the file.
    const std::wstring path = kSample + L"-current.exe";
    kv::win::FileHandle writer(::CreateFileW(path.c_str(), GENERIC_WRITE,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer);
    EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(::DeleteFileW(path.c_str()));
    EXPECT_FALSE(
        ::MoveFileExW((kSample + L"-next.exe").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_EQ(VerifySetupSignature(handle.Get(), AcceptedSetupSigners()), Verdict::Ok);
}

}  // namespace
