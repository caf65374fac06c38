// The publisher check that decides whether a program may be started.
#pragma once

#include <cstdint>

namespace platform {
class ProgramFile;
class TrustVerification;
}  // namespace platform

// Non-zero when the file at `path` may be started: it exists, carries a signature that the system's
// trust verification accepts, and its signer's display name is an accepted publisher.
std::int32_t VerifyPublisher(const wchar_t* path);
// The same check of a program file opened before: what is verified is the file that was opened.
std::int32_t VerifyPublisher(const platform::ProgramFile& file);

// The decision on a verification already made: 1 when it found a signature worth a look at its
// signer (verified, or failed only on an expired certificate or an untrusted root) and the
// signer's display name, read in full and without a NUL inside, is an accepted publisher.
std::int32_t AcceptsVerification(const platform::TrustVerification& verification);

// 1 when `name` is exactly one of the accepted publishers' display names, else 0.
std::int32_t IsAllowedPublisher(const wchar_t* name);
