#pragma once
// Tampered copies of a signed program, for the tests of the signature check: each kind changes
// one thing an attacker could change and leaves the rest as signed.

#include <string>

enum class Tampering {
    CodeByte,         // one byte of the image (in the middle, so inside a section)
    AppendedByte,     // one byte after the signature table
    SignatureByte,    // the last byte of the signer's signature value
    CertificateByte,  // the last byte of the signer's certificate
    PatchedDigest,    // a changed code byte, with the embedded file digest made to match
};

// The bytes of a signed program with one tampering; empty when they are no signed program.
std::string Tamper(std::string file, Tampering kind);
