#include "trust/setup_signature.h"

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "trust/authenticode_digest.h"
#include "trust/der_reader.h"
#include "win/crypt_handles.h"

namespace {

using Verdict = SetupSignatureVerdict;
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

FileReader HandleReader(HANDLE file) {
    return [file](std::uint64_t offset, std::span<std::uint8_t> out) {
        while (!out.empty()) {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(out.size(), 1u << 20));
            DWORD got = 0;
            if (!::ReadFile(file, out.data(), wanted, &got, &at) || got == 0) return false;
            out = out.subspan(got);
            offset += got;
        }
        return true;
    };
}

Verdict FromLayoutStatus(PeSignatureStatus status) {
    switch (status) {
        case PeSignatureStatus::Ok:
            return Verdict::Ok;
        case PeSignatureStatus::Unreadable:
            return Verdict::Unreadable;
        case PeSignatureStatus::NotPe:
        case PeSignatureStatus::Unsigned:
            return Verdict::Unsigned;
        case PeSignatureStatus::Malformed:
            break;
    }
    return Verdict::Malformed;
}

// A message parameter of variable size, or empty when the message has none.
std::vector<BYTE> MessageParam(HCRYPTMSG message, DWORD type) {
    DWORD size = 0;
    if (!::CryptMsgGetParam(message, type, 0, nullptr, &size) || size == 0) return {};
    std::vector<BYTE> value(size);
    if (!::CryptMsgGetParam(message, type, 0, value.data(), &size)) return {};
    value.resize(size);
    return value;
}

bool HasOneSigner(HCRYPTMSG message) {
    DWORD count = 0;
    DWORD size = sizeof count;
    return ::CryptMsgGetParam(message, CMSG_SIGNER_COUNT_PARAM, 0, &count, &size) && count == 1;
}

// The signer's certificate from the message's own store, found by issuer and serial number.
kv::win::CertContext FindSignerCertificate(HCRYPTMSG message, HCERTSTORE store) {
    std::vector<BYTE> info = MessageParam(message, CMSG_SIGNER_CERT_INFO_PARAM);
    if (info.size() < sizeof(CERT_INFO)) return {};
    return kv::win::CertContext(::CertGetSubjectCertificateFromStore(
        store, kEncoding, reinterpret_cast<CERT_INFO*>(info.data())));
}

bool IsAccepted(PCCERT_CONTEXT certificate, std::span<const SetupSignerThumbprint> accepted) {
    BYTE thumbprint[32];
    DWORD size = sizeof thumbprint;
    if (!::CryptHashCertificate(0, CALG_SHA_256, 0, certificate->pbCertEncoded,
                                certificate->cbCertEncoded, thumbprint, &size) ||
        size != sizeof thumbprint) {
        return false;
    }
    return std::ranges::any_of(accepted, [&](const SetupSignerThumbprint& signer) {
        return std::memcmp(signer.sha256, thumbprint, sizeof thumbprint) == 0;
    });
}

bool SignatureHolds(HCRYPTMSG message, PCCERT_CONTEXT certificate) {
    CMSG_CTRL_VERIFY_SIGNATURE_EX_PARA para{};
    para.cbSize = sizeof para;
    para.dwSignerIndex = 0;
    para.dwSignerType = CMSG_VERIFY_SIGNER_CERT;
    para.pvSigner = const_cast<CERT_CONTEXT*>(certificate);
    return ::CryptMsgControl(message, 0, CMSG_CTRL_VERIFY_SIGNATURE_EX, &para) != FALSE;
}

// The signer hashed with SHA-256, and its one message-digest attribute is the hash of the signed
// content: only then does its signature cover the file digest inside that content.
bool MessageDigestHolds(HCRYPTMSG message, std::span<const std::uint8_t> signedContent) {
    std::vector<BYTE> buffer = MessageParam(message, CMSG_SIGNER_INFO_PARAM);
    if (buffer.size() < sizeof(CMSG_SIGNER_INFO)) return false;
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(buffer.data());
    if (signer->HashAlgorithm.pszObjId == nullptr ||
        std::strcmp(signer->HashAlgorithm.pszObjId, szOID_NIST_sha256) != 0) {
        return false;
    }
    const CRYPT_ATTRIBUTE* found = nullptr;
    for (DWORD i = 0; i < signer->AuthAttrs.cAttr; ++i) {
        const CRYPT_ATTRIBUTE& attribute = signer->AuthAttrs.rgAttr[i];
        if (attribute.pszObjId == nullptr ||
            std::strcmp(attribute.pszObjId, szOID_PKCS_9_MESSAGE_DIGEST) != 0) {
            continue;
        }
        if (found != nullptr || attribute.cValue != 1) return false;
        found = &attribute;
    }
    if (found == nullptr) return false;
    der::Element digest;
    const std::span<const std::uint8_t> encoded(found->rgValue[0].pbData, found->rgValue[0].cbData);
    if (!der::ReadWhole(encoded, der::kOctetString, digest)) return false;
    const Sha256Digest expected = Sha256(signedContent);
    return std::ranges::equal(digest.value, expected);
}

// The checks on the signed data itself, through the system's message functions.
Verdict CheckSigner(std::span<const std::uint8_t> pkcs7, const AuthenticodeContent& content,
                    std::span<const SetupSignerThumbprint> accepted) {
    CERT_BLOB blob{static_cast<DWORD>(pkcs7.size()), const_cast<BYTE*>(pkcs7.data())};
    HCERTSTORE rawStore = nullptr;
    HCRYPTMSG rawMessage = nullptr;
    const BOOL decoded =
        ::CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &blob, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED,
                           CERT_QUERY_FORMAT_FLAG_BINARY, 0, nullptr, nullptr, nullptr, &rawStore,
                           &rawMessage, nullptr);
    kv::win::CertStore store(rawStore);
    kv::win::CryptMessage message(rawMessage);
    if (!decoded || !store || !message) return Verdict::Malformed;

    if (!HasOneSigner(message.Get())) return Verdict::UnknownSigner;
    const kv::win::CertContext certificate = FindSignerCertificate(message.Get(), store.Get());
    if (!certificate || !IsAccepted(certificate.Get(), accepted)) return Verdict::UnknownSigner;
    if (!SignatureHolds(message.Get(), certificate.Get())) return Verdict::BadSignature;
    if (!MessageDigestHolds(message.Get(), content.signedContent)) return Verdict::BadSignature;
    return Verdict::Ok;
}

bool RunningUnderWine() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The system's own verdict on the file and its certificate chain, through the same handle.
bool SystemTrusts(HANDLE file) {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = ::GetFinalPathNameByHandleW(file, path.data(), MAX_PATH, 0);
    if (length >= MAX_PATH) {
        path.resize(length);
        length = ::GetFinalPathNameByHandleW(file, path.data(), length, 0);
    }
    if (length == 0 || length >= path.size()) return false;
    path.resize(length);

    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = path.c_str();
    fileInfo.hFile = file;
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    const LONG result = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return result == S_OK;
}

Verdict Verify(HANDLE file, std::span<const SetupSignerThumbprint> accepted,
               const Sha256Digest* streamedDigest) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size) || size.QuadPart < 0) return Verdict::Unreadable;
    const FileReader read = HandleReader(file);
    PeSignatureLayout layout;
    const Verdict found =
        FromLayoutStatus(ReadPeSignature(read, static_cast<std::uint64_t>(size.QuadPart), layout));
    if (found != Verdict::Ok) return found;
    AuthenticodeContent content;
    if (!ReadAuthenticodeContent(layout.signature, content)) return Verdict::Malformed;

    const Verdict signer = CheckSigner(layout.signature, content, accepted);
    if (signer != Verdict::Ok) return signer;

    Sha256Digest digest{};
    if (streamedDigest != nullptr) {
        digest = *streamedDigest;
    } else if (!ComputeAuthenticodeDigest(read, layout, digest)) {
        return Verdict::Unreadable;
    }
    if (!content.digestIsSha256 || !std::ranges::equal(content.digest, digest)) {
        return Verdict::BadDigest;
    }
    // Wine's answer would add nothing (it trusts self-signed and foreign certificates alike), and
    // asking costs more than time: Wine's WinVerifyTrust loads imagehlp, whose dbghelp.dll Wine
    // looks for beside the program first, which is usually the download folder. So under Wine
    // only our own checks count, and the system is not asked.
    if (RunningUnderWine()) return Verdict::Ok;
    return SystemTrusts(file) ? Verdict::Ok : Verdict::Untrusted;
}

}  // namespace

SetupSignatureVerdict VerifySetupSignature(HANDLE file,
                                           std::span<const SetupSignerThumbprint> accepted,
                                           const Sha256Digest* streamedDigest) {
    try {
        return Verify(file, accepted, streamedDigest);
    } catch (...) {
        // Out of memory while reading a signature: nothing was verified.
        return Verdict::Unreadable;
    }
}
