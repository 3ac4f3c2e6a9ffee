#pragma once

#include <cstdint>

// In a namespace of their own: <windows.h> declares functions of the same names.
namespace sysclock {

// Milliseconds since an arbitrary start, monotonic, as an unsigned 32-bit counter that wraps.
std::uint32_t GetTickCount();

// Suspends the calling thread for the given number of milliseconds.
void Sleep(std::uint32_t milliseconds);

} // namespace sysclock
