#pragma once
// Whether a downloaded setup file is what one of the maker's certificates signed. Our own checks
// stand on their own: the system's trust verdict is required in addition on Windows, but it is
// not enough (Wine answers S_OK for foreign certificates and for patched files).

#include <windows.h>

#include <span>

#include "trust/setup_signers.h"
#include "trust/sha256.h"

enum class SetupSignatureVerdict {
    Ok,
    Unreadable,     // the file could not be read through the handle
    Unsigned,       // no signature table, or no executable at all
    Malformed,      // a signature we cannot fully read, or bytes outside digest and signature
    UnknownSigner,  // not exactly one signer, or one whose certificate is not accepted
    BadSignature,   // the signer's signature or its message digest does not hold
    BadDigest,      // the file is not the one that was signed
    Untrusted,      // the system does not trust the signature (real Windows only)
};

// file: opened by the caller with read access and FILE_SHARE_READ only (the transfer's own
// handle, or one opened with GENERIC_READ), and held open until the setup has started, so that
// nobody can change the file between the check and the start. It is read through this handle
// only (from any position; the file pointer moves).
// streamedDigest: the file's Authenticode digest as an AuthenticodeStream computed it from the
// bytes written into this very file (Finish() succeeded and the stream saw the whole file). With
// it, only the headers and the signature table are read, so a change made to the file after its
// bytes were written goes unseen: only a handle held since the first byte rules that out. Without
// it, the whole file is read and hashed (the check right before the start).
// On Windows the system's trust verdict (WinVerifyTrust) is required as well; under Wine it is
// not asked at all, since its answer counts for nothing there.
SetupSignatureVerdict VerifySetupSignature(HANDLE file,
                                           std::span<const SetupSignerThumbprint> accepted,
                                           const Sha256Digest* streamedDigest = nullptr);
