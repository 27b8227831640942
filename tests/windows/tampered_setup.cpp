#include "tampered_setup.h"

#include <algorithm>
#include <cstdint>
#include <span>

#include "trust/authenticode_digest.h"
#include "trust/der_reader.h"

namespace {

std::span<const std::uint8_t> AsBytes(const std::string& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// Where the parts of a signed file lie, as offsets into the file.
struct Anatomy {
    PeSignatureLayout layout;
    std::size_t signatureEnd = 0;    // one past the PKCS #7 data
    std::size_t certificateEnd = 0;  // one past the signer's certificate
    std::size_t digestStart = 0;     // the embedded file digest
};

bool Dissect(const std::string& file, Anatomy& a) {
    if (ReadPeSignature(MemoryReader(AsBytes(file)), file.size(), a.layout) !=
        PeSignatureStatus::Ok) {
        return false;
    }
    const std::size_t start = a.layout.tableOffset + 8;
    const auto pkcs7 = AsBytes(file).subspan(start, a.layout.signature.size());
    der::Element outer, wrapped, signedData, certificates, certificate;
    der::ReadWhole(pkcs7, der::kSequence, outer);
    der::Reader contentInfo(outer.value);
    if (!contentInfo.Skip(der::kOid) || !contentInfo.Next(der::ContextTag(0), wrapped) ||
        !der::ReadWhole(wrapped.value, der::kSequence, signedData)) {
        return false;
    }
    der::Reader body(signedData.value);
    if (!body.Skip(der::kInteger) || !body.Skip(der::kSet) || !body.Skip(der::kSequence) ||
        !body.Next(der::ContextTag(0), certificates) ||
        !der::Reader(certificates.value).Next(der::kSequence, certificate)) {
        return false;
    }
    AuthenticodeContent content;
    if (!ReadAuthenticodeContent(pkcs7, content)) return false;
    const auto offsetOf = [&](const std::uint8_t* p) { return p - pkcs7.data() + start; };
    a.signatureEnd = start + pkcs7.size();
    a.certificateEnd = offsetOf(certificate.encoded.data() + certificate.encoded.size());
    a.digestStart = offsetOf(content.digest.data());
    return true;
}

}  // namespace

std::string Tamper(std::string file, Tampering kind) {
    Anatomy a;
    if (!Dissect(file, a)) return {};
    const std::size_t codeByte = a.layout.tableOffset / 2;
    switch (kind) {
        case Tampering::CodeByte:
            file[codeByte] ^= 0x01;
            break;
        case Tampering::AppendedByte:
            file.push_back('\0');
            break;
        case Tampering::SignatureByte:
            file[a.signatureEnd - 1] ^= 0x01;
            break;
        case Tampering::CertificateByte:
            file[a.certificateEnd - 1] ^= 0x01;
            break;
        case Tampering::PatchedDigest: {
            file[codeByte] ^= 0x01;
            Sha256Digest digest{};
            if (!ComputeAuthenticodeDigest(MemoryReader(AsBytes(file)), a.layout, digest))
                return {};
            std::copy(digest.begin(), digest.end(), file.begin() + a.digestStart);
            break;
        }
    }
    return file;
}
