// The scripted USER/KERNEL backend, for tests and the recorder: a virtual
// clock that moves only when told (or by Sleep), keys set by the caller, a
// window that exists only in memory, and a hook that sees every presented frame.
#ifndef ORVIX_PLATFORM_HEADLESS_H
#define ORVIX_PLATFORM_HEADLESS_H

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/win32.h"

namespace headless {

// Clock 0, keys up, no classes or windows, an empty queue, counters 0.
void Reset();

// What GetTickCount() returns until the clock moves again.
void SetTickCount(DWORD ms);
// Moves the clock on; it wraps like the real count.
void AdvanceTickCount(DWORD ms);
// Every Sleep(n) since Reset, in order. Sleep(n) also advances the clock by n.
const std::vector<DWORD>& Sleeps();

// Holds a key down or releases it.
void SetKeyDown(int vk, bool down);
// A key pressed and released since the last poll: it reads nonzero once.
void TapKey(int vk);

// While `fail`, CreateWindowExA returns null.
void FailWindowCreation(bool fail);
// n platform messages wait for the window before the next frame.
void QueueMessages(UINT msg, int n);
// A close request arrives after that many presented frames.
void CloseAfterFrames(int frames);

// Frames presented since Reset.
int FramesPresented();
// Calls `f` with every presented frame: 512 x 512 pixels, 0x00BBGGRR, rows
// top-down.
void OnPresent(std::function<void(int frame, const std::uint32_t* pixels)> f);

}  // namespace headless

#endif  // ORVIX_PLATFORM_HEADLESS_H
