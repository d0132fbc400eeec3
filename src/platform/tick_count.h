#pragma once

#include <cstdint>

// Milliseconds since an arbitrary start, from the monotonic clock; wraps after about 49.7 days.
uint32_t tickCount() noexcept;
