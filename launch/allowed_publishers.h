// The built-in list of accepted publishers, in its fixed order.
#pragma once

#include <cstddef>

inline constexpr std::size_t kAllowedPublisherCount = 23;

// Whether the name at `index` of the list has been decoded yet. Names are decoded only when a
// comparison first reaches them, and stay decoded.
bool IsAllowedPublisherDecoded(std::size_t index);
