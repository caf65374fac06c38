// The publisher check that decides whether a program may be started.
#pragma once

#include <cstdint>

// Non-zero when the file at `path` may be started: it exists, carries a signature that the system's
// trust verification accepts, and its signer's display name is an accepted publisher.
std::int32_t VerifyPublisher(const wchar_t* path);

// 1 when `name` is exactly one of the accepted publishers' display names, else 0.
std::int32_t IsAllowedPublisher(const wchar_t* name);
