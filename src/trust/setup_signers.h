#pragma once
// Whose setup files the program runs: the SHA-256 thumbprints of the maker's signing
// certificates, fixed at build time (more than one, so that the maker can move to a new
// certificate while files signed with the old one are still served). The shipped program and the
// loopback build differ only in the unit that defines them, generated from setup_signers.cpp.in.

#include <span>

struct SetupSignerThumbprint {
    unsigned char sha256[32];
};

// Empty when the build was given none: then no setup file is accepted.
std::span<const SetupSignerThumbprint> AcceptedSetupSigners();
