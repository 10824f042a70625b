// The web backend's controls, for what runs beside the program in the page
// (the frame inspector): its clock, the keys of every frame, and a run to a
// given frame without showing the frames before it.
//
// The page runs the program on the recorder's clock: the tick count moves
// only by what Sleep asks, and Sleep waits for the page's clock to catch up
// with it, so frames come every 33 ms as before while each frame's tick
// count is the one the headless recorder gives the same frame. The five keys
// the program reads change only between frames, as the recorder's key script
// changes them, and every frame's keys are kept: any frame shown can be run
// again, exactly, from its number and those keys.
#ifndef ORVIX_PLATFORM_WEB_H
#define ORVIX_PLATFORM_WEB_H

#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace web {

// The keys the program reads, in the recorder's order (left, right, up, down,
// space). A frame's keys: bit k when key k is held, bit kKeyCount + k when it
// was pressed and released since the frame before (a tap).
constexpr int kKeyCount = 5;
extern const int kKeyCodes[kKeyCount];
using FrameKeys = std::uint16_t;

// Before the program starts: what GetTickCount reads at the first frame.
void SetStartTick(DWORD ms);
// Frames 1 to keys.size() take these keys, not the keyboard's.
void ScriptKeys(std::vector<FrameKeys> keys);
// The frames not begun yet take the keyboard's keys.
void EndScript();
// Frames before `frame` run as fast as they can and are not shown.
void ShowFrom(int frame);

int FramesPresented();
// The tick count the frame being drawn (or the latest) read.
DWORD FrameTick();
// The keys of frames 1, 2, ...: one entry for every frame presented and one
// for the frame after it.
const std::vector<FrameKeys>& KeysOfFrames();

// Called at every present, before the frame is shown, with its number (from 1).
using PresentHook = void (*)(void* context, int frame);
void OnPresent(PresentHook hook, void* context);

}  // namespace web

#endif  // ORVIX_PLATFORM_WEB_H
