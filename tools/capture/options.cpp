// orvix-capture's command line.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <utility>

#include "capture/capture.h"
#include "capture/image.h"
#include "capture/outputs.h"
#include "capture/usage.h"
#include "platform/win32.h"

namespace capture {

const KeyName kKeyNames[5] = {
    {"left", VK_LEFT}, {"right", VK_RIGHT}, {"up", VK_UP}, {"down", VK_DOWN}, {"space", VK_SPACE},
};

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Decimal digits only (no sign, no spaces), at most `max`.
bool ParseNumber(std::string_view s, std::int64_t max, std::int64_t* out) {
  s = Trim(s);
  std::int64_t value = 0;
  for (char c : s)
    if (c < '0' || c > '9' || (value = value * 10 + (c - '0')) > max) return false;  // no overflow
  *out = value;
  return !s.empty();
}

const char* NameOf(int vk) {
  for (const KeyName& k : kKeyNames)
    if (k.vk == vk) return k.name;
  return "?";
}

// The script's words (key names and "tap") are read in any case.
std::string Lower(std::string_view text) {
  std::string lower(Trim(text));
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A frame number of the script: from 1 up.
bool ParseFrame(std::string_view s, std::string_view entry, int* frame, std::string* error) {
  std::int64_t value = 0;
  if (Trim(s).empty())
    *error = "--keys: a frame number is missing in " + Quote(entry);
  else if (!ParseNumber(s, kMaxFrames, &value))
    *error = "--keys: " + Quote(Trim(s)) + " in " + Quote(entry) + " is not a frame from 1 to " +
             std::to_string(kMaxFrames);
  else if (value == 0)
    *error = "--keys: frame 0 in " + Quote(entry) + ": frames count from 1";
  *frame = static_cast<int>(value);
  return value != 0;
}

// One entry: "KEY:F", "KEY:F-L", "KEY:F-" or "tap:KEY@F".
bool ParseEntry(std::string_view entry, KeyEntry* e, std::string* error) {
  const std::size_t colon = entry.find(':');
  if (colon == std::string_view::npos) {
    *error = "--keys: " + Quote(entry) + " is neither KEY:FRAMES nor tap:KEY@FRAME";
    return false;
  }
  std::string_view key = entry.substr(0, colon), frames = entry.substr(colon + 1);
  *e = {0, 0, 0, Lower(key) == "tap", std::string(entry)};
  if (e->tap) {
    const std::size_t at = frames.find('@');
    if (at == std::string_view::npos) {
      *error = "--keys: " + Quote(entry) + ": a tap is written tap:KEY@FRAME";
      return false;
    }
    key = frames.substr(0, at);
    frames = frames.substr(at + 1);
  }
  for (const KeyName& k : kKeyNames)
    if (Lower(key) == k.name) e->vk = k.vk;
  if (e->vk == 0) {
    std::string list;
    for (const KeyName& k : kKeyNames) list += (list.empty() ? "" : ", ") + std::string(k.name);
    *error =
        "--keys: unknown key " + Quote(Trim(key)) + " in " + Quote(entry) + " (keys: " + list + ")";
    return false;
  }
  const std::size_t dash = e->tap ? std::string_view::npos : frames.find('-');
  if (!ParseFrame(frames.substr(0, dash), entry, &e->first, error)) return false;
  e->last = e->first;
  if (dash == std::string_view::npos) return true;
  const std::string_view end = Trim(frames.substr(dash + 1));
  if (end.empty()) {
    e->last = kToTheEnd;
  } else if (!ParseFrame(end, entry, &e->last, error)) {
    return false;
  } else if (e->last < e->first) {
    *error = "--keys: " + Quote(entry) + " ends before it starts";
    return false;
  }
  return true;
}

// Two entries for one key that would fight over a frame.
bool CheckOverlaps(const std::vector<KeyEntry>& entries, std::string* error) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const KeyEntry &a = entries[j], &b = entries[i];
      if (a.vk != b.vk || a.last < b.first || b.last < a.first) continue;
      const KeyEntry &tap = a.tap ? a : b, &hold = a.tap ? b : a;
      if (a.tap && b.tap)
        *error = "--keys: " + Quote(b.text) + " taps " + NameOf(b.vk) + " twice at frame " +
                 std::to_string(b.first);
      else if (a.tap || b.tap)
        *error = "--keys: " + Quote(tap.text) + " falls on a frame where " + Quote(hold.text) +
                 " already holds " + NameOf(tap.vk);
      else
        *error = "--keys: " + Quote(b.text) + " overlaps " + Quote(a.text) + " (both hold " +
                 NameOf(b.vk) + " at frame " + std::to_string(std::max(a.first, b.first)) + ")";
      return false;
    }
  }
  return true;
}

}  // namespace

bool KeyScript::Held(int vk, int frame) const {
  return std::any_of(entries.begin(), entries.end(), [&](const KeyEntry& e) {
    return !e.tap && e.vk == vk && e.first <= frame && frame <= e.last;
  });
}

bool KeyScript::Tapped(int vk, int frame) const {
  return std::any_of(entries.begin(), entries.end(),
                     [&](const KeyEntry& e) { return e.tap && e.vk == vk && e.first == frame; });
}

bool ParseKeyScript(std::string_view text, KeyScript* script, std::string* error) {
  if (Trim(text).empty()) {
    *error = "--keys: the key script is empty";
    return false;
  }
  KeyScript parsed;
  for (std::size_t start = 0; start <= text.size();) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    const std::string_view piece = Trim(text.substr(start, comma - start));
    start = comma + 1;
    if (piece.empty()) {
      *error = "--keys: empty entry in " + Quote(text) + " (a comma too many?)";
      return false;
    }
    if (!ParseEntry(piece, &parsed.entries.emplace_back(), error)) return false;
  }
  if (!CheckOverlaps(parsed.entries, error)) return false;
  *script = std::move(parsed);
  return true;
}

namespace {

// A count from 1 to `max` for option `name`; `what` a count is, for its message.
bool Count(std::string_view value, const char* name, int max, const char* what, int* out,
           std::string* error) {
  std::int64_t number = 0;
  if (ParseNumber(value, max, &number) && number != 0) {
    *out = static_cast<int>(number);
    return true;
  }
  *error = std::string(name) + ": " + Quote(value) + " is not " + what + " from 1 to " +
           std::to_string(max);
  return false;
}

// Every option but --help and --version (usage.txt says what they do).
constexpr std::string_view kOptionNames[] = {"--frames", "--start-tick", "--keys",
                                             "--out",    "--force",      "--every",
                                             "--gif",    "--build-up",   "--trace"};

std::size_t IndexOf(std::string_view name) {
  return std::find(std::begin(kOptionNames), std::end(kOptionNames), name) - kOptionNames;
}

// The value, never empty, of option `name` (not --force).
bool Read(std::string_view name, std::string_view v, Options* o, std::string* e) {
  if (name == "--frames") return Count(v, "--frames", kMaxFrames, "a frame count", &o->frames, e);
  if (name == "--every") return Count(v, "--every", kMaxFrames, "a number", &o->every, e);
  if (name == "--build-up")
    return Count(v, "--build-up", kMaxBuildUp, "a number of polygons", &o->build_up, e);
  if (name == "--keys") return ParseKeyScript(v, &o->keys, e);
  if (name == "--start-tick") {
    std::int64_t tick = 0;
    const bool ok = ParseNumber(v, 0xFFFFFFFFll, &tick);
    if (!ok) *e = "--start-tick: " + Quote(v) + " is not a tick count from 0 to 4294967295";
    o->start_tick = static_cast<std::uint32_t>(tick);
    return ok;
  }
  (name == "--out" ? o->out_dir : name == "--gif" ? o->gif_path : o->trace_path) = v;
  return true;
}

// Entries that would never be used point at a mistake in --frames or --keys
// (holds named before taps).
bool CheckScriptFitsRecording(const Options& o, std::string* error) {
  for (const bool tap : {false, true}) {
    for (const KeyEntry& e : o.keys.entries) {
      if (e.tap != tap || e.first <= o.frames) continue;
      *error = "--keys: " + std::string(tap ? "the tap of " : "") + NameOf(e.vk) + " at frame " +
               std::to_string(e.first) + " is after the last frame (" + std::to_string(o.frames) +
               ")";
      return false;
    }
  }
  return true;
}

// "655.35 s"
std::string Seconds(int cs) {
  char text[32];
  std::snprintf(text, sizeof(text), "%d.%02d s", cs / 100, cs % 100);
  return text;
}

}  // namespace

bool ParseArguments(int argc, const char* const* argv, Options* options, std::string* error) {
  Options o;
  // Asking for help is never a mistake, wherever it is and whatever else the
  // line holds (even as another option's value).
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    o.help = o.help || arg == "-h" || arg == "--help";
    o.version = o.version || arg == "--version";
  }
  if (o.help || o.version) {
    o.version = !o.help;
    *options = std::move(o);
    return true;
  }

  // Each option once: a repeated one is more likely a typo than an override.
  const auto fail = [error](const std::string& line) {
    *error = line;
    return false;
  };
  bool seen[std::size(kOptionNames)] = {};
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg.substr(0, 2) != "--" || arg.size() == 2)
      return fail("unexpected argument " + Quote(arg) + " (see --help)");
    const std::size_t eq = arg.find('=');
    const std::string name(arg.substr(0, eq));
    const std::size_t row = IndexOf(name);
    if (row == std::size(kOptionNames))
      return fail("unknown option " + Quote(name) + " (see --help)");
    if (std::exchange(seen[row], true)) return fail(name + " is given twice");
    const bool flag = name == "--force";
    if (flag && eq != std::string_view::npos) return fail(name + " takes no value");
    o.force = o.force || flag;
    if (flag) continue;
    const std::string_view value = eq != std::string_view::npos ? arg.substr(eq + 1)
                                   : i + 1 < argc               ? argv[++i]
                                                                : "";
    if (Trim(value).empty()) return fail(name + " needs a value");
    if (!Read(name, value, &o, error)) return false;
  }

  if (o.out_dir.empty() && o.gif_path.empty() && o.trace_path.empty())
    return fail("nothing to write: give --out DIR, --gif FILE or --trace FILE (see --help)");
  if (o.build_up != 0 && seen[IndexOf("--every")])
    return fail("--build-up keeps images of the last frame only: --every does not go with it");
  if (o.every > o.frames)
    return fail("--every " + std::to_string(o.every) + " keeps none of the " +
                std::to_string(o.frames) + " frames");
  if (!CheckScriptFitsRecording(o, error)) return false;
  // GIF delays are 16-bit counts of 1/100 s: a longer one would wrap.
  for (int i = 0; !o.gif_path.empty() && i < o.frames / o.every; ++i)
    if (const int delay = GifDelay(i, o.every); delay > kMaxGifDelay)
      return fail("--every " + std::to_string(o.every) + ": a frame of the GIF would show for " +
                  Seconds(delay) + ", longer than the " + Seconds(kMaxGifDelay) +
                  " a GIF frame can last");
  *options = std::move(o);
  return true;
}

std::string Usage() { return kUsageText; }

}  // namespace capture
