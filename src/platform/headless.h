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

void Reset();                 // clock 0, keys up, no classes or windows, empty queue, counters 0
void SetTickCount(DWORD ms);  // what GetTickCount() returns until the clock moves again
void AdvanceTickCount(DWORD ms);  // wraps like the real count
const std::vector<DWORD>&
Sleeps();  // every Sleep(n) since Reset, in order; Sleep(n) also advances the clock by n
void SetKeyDown(int vk, bool down);  // held keys
void TapKey(int vk);                 // pressed and released since the last poll: reads nonzero once
void FailWindowCreation(bool fail);  // CreateWindowExA returns null
void QueueMessages(UINT msg,
                   int n);  // n platform messages waiting for the window before the next frame
void CloseAfterFrames(int frames);  // a close request arrives after that many presented frames
int FramesPresented();
void OnPresent(std::function<void(int frame, const std::uint32_t* pixels)>
                   f);  // pixels: 512 x 512, 0x00BBGGRR

}  // namespace headless

#endif  // ORVIX_PLATFORM_HEADLESS_H
