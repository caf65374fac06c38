// The built-in list of accepted publishers, in its fixed order.
#pragma once

#include <cstddef>

inline constexpr std::size_t kAllowedPublisherCount = 23;
