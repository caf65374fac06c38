// What the list of accepted publishers has decoded so far; for its tests.
#pragma once

#include <cstddef>

// Whether the name at `index` of the list has been decoded yet. Names are decoded only when a
// comparison first reaches them, and stay decoded.
bool IsAllowedPublisherDecoded(std::size_t index);
