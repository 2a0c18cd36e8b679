// Time and sound: Sleep, timeGetTime, Beep.
#pragma once

#include <cstdint>

namespace platform {

// Sleep: suspends the calling thread for at least the given milliseconds.
void sleepMs(std::uint32_t milliseconds);

// timeGetTime: a millisecond tick that wraps around at 2^32.
std::uint32_t tickMs();

// Beep(frequency, duration): on Windows a tone of that frequency and length;
// on POSIX the terminal bell when standard output is a terminal, silence
// otherwise. Never fails; returns after about the duration.
void beep(std::uint32_t frequencyHz, std::uint32_t durationMs);

}  // namespace platform
