// The browser tests' native side: one frame of the recorder's run, as the
// native build records it, for the page's inspector to be compared with.
//
//   orvix_native_trace FRAME KEYS [CALL...]
//
// Prints the frame's trace line and its calls' lines, then for each CALL a
// line "replay CALL HASH": the FNV-1a hash (64 bits, hex) of the R, G, B
// bytes, row by row, of the painted calls 0..CALL replayed onto a cleared
// frame. KEYS is the recorder's key script, or "-" for none.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "capture/capture.h"
#include "frame_record.h"
#include "platform/headless.h"

namespace {

std::uint64_t Fnv1a(const std::vector<std::uint32_t>& pixels) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (const std::uint32_t p : pixels) {
    for (int shift = 0; shift < 24; shift += 8) {
      h ^= (p >> shift) & 0xFF;  // 0x00BBGGRR: R, G, then B
      h *= 0x100000001b3ull;
    }
  }
  return h;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: orvix_native_trace FRAME KEYS [CALL...]\n");
    return 2;
  }
  const int frame = std::atoi(argv[1]);
  capture::KeyScript keys;
  std::string error;
  if (std::string(argv[2]) != "-" && !capture::ParseKeyScript(argv[2], &keys, &error)) {
    std::fprintf(stderr, "orvix_native_trace: %s\n", error.c_str());
    return 2;
  }
  if (frame < 1) return 2;

  // Listening from the present of the frame before: the frame's calls only.
  std::unique_ptr<support::FrameRecorder> recorder;
  if (frame == 1) recorder = std::make_unique<support::FrameRecorder>();
  support::FrameRecord record;
  unsigned long tick = 0;
  capture::Play(frame, 0, keys, [&](int presented, const std::uint32_t*) {
    if (presented + 1 == frame) recorder = std::make_unique<support::FrameRecorder>();
    if (presented == frame) {
      record = recorder->Take();
      tick = GetTickCount() - 1;  // GameLoop sleeps 1 ms between the frame and its present
    }
  });
  recorder.reset();

  std::vector<std::string> held;
  for (const capture::KeyName& k : capture::kKeyNames)
    if (keys.Held(k.vk, frame)) held.emplace_back(k.name);
  std::printf("%s\n", support::FrameLine(frame, tick, held, record).c_str());
  for (const support::CallRecord& c : record.calls)
    std::printf("%s\n", support::CallLine(frame, c).c_str());
  for (int i = 3; i < argc; ++i) {
    const int upto = std::atoi(argv[i]);
    std::printf("replay %d %016llx\n", upto,
                static_cast<unsigned long long>(Fnv1a(support::Replay(record, upto))));
  }
  return 0;
}
