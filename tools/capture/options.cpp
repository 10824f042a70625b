// orvix-capture's command line.
#include "capture/options.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

#include "capture/image.h"
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
  if (s.empty()) return false;
  std::int64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
    if (value > max) return false;  // checked per digit: never overflows
  }
  *out = value;
  return true;
}

const char* NameOf(int vk) {
  for (const KeyName& k : kKeyNames)
    if (k.vk == vk) return k.name;
  return "?";
}

// The script's words (key names and "tap") are read in any case.
bool EqualsIgnoringCase(std::string_view text, std::string_view lower) {
  return text.size() == lower.size() &&
         std::equal(text.begin(), text.end(), lower.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

bool LookUpKey(std::string_view name, int* vk) {
  name = Trim(name);
  for (const KeyName& k : kKeyNames) {
    if (EqualsIgnoringCase(name, k.name)) {
      *vk = k.vk;
      return true;
    }
  }
  return false;
}

std::string KeyList() {
  std::string list;
  for (const KeyName& k : kKeyNames) list += (list.empty() ? "" : ", ") + std::string(k.name);
  return list;
}

// A frame number of the script: from 1 up.
bool ParseFrame(std::string_view s, std::string_view entry, int* frame, std::string* error) {
  if (Trim(s).empty()) {
    *error = "--keys: a frame number is missing in " + Quote(entry);
    return false;
  }
  std::int64_t value = 0;
  if (!ParseNumber(s, kMaxFrames, &value)) {
    *error = "--keys: " + Quote(Trim(s)) + " in " + Quote(entry) + " is not a frame from 1 to " +
             std::to_string(kMaxFrames);
    return false;
  }
  if (value == 0) {
    *error = "--keys: frame 0 in " + Quote(entry) + ": frames count from 1";
    return false;
  }
  *frame = static_cast<int>(value);
  return true;
}

struct Entry {
  std::string text;
  int vk;
  int first;
  int last;  // == first for a tap
  bool tap;
};

bool ParseEntry(std::string_view entry, Entry* out, std::string* error) {
  out->text = std::string(entry);
  const std::size_t colon = entry.find(':');
  if (colon == std::string_view::npos) {
    *error = "--keys: " + Quote(entry) + " is neither KEY:FRAMES nor tap:KEY@FRAME";
    return false;
  }
  const std::string_view head = Trim(entry.substr(0, colon));
  const std::string_view rest = entry.substr(colon + 1);

  if (EqualsIgnoringCase(head, "tap")) {
    const std::size_t at = rest.find('@');
    if (at == std::string_view::npos) {
      *error = "--keys: " + Quote(entry) + ": a tap is written tap:KEY@FRAME";
      return false;
    }
    if (!LookUpKey(rest.substr(0, at), &out->vk)) {
      *error = "--keys: unknown key " + Quote(Trim(rest.substr(0, at))) + " in " + Quote(entry) +
               " (keys: " + KeyList() + ")";
      return false;
    }
    if (!ParseFrame(rest.substr(at + 1), entry, &out->first, error)) return false;
    out->last = out->first;
    out->tap = true;
    return true;
  }

  if (!LookUpKey(head, &out->vk)) {
    *error =
        "--keys: unknown key " + Quote(head) + " in " + Quote(entry) + " (keys: " + KeyList() + ")";
    return false;
  }
  out->tap = false;
  const std::size_t dash = rest.find('-');
  if (dash == std::string_view::npos) {  // KEY:F, one frame
    if (!ParseFrame(rest, entry, &out->first, error)) return false;
    out->last = out->first;
    return true;
  }
  if (!ParseFrame(rest.substr(0, dash), entry, &out->first, error)) return false;
  const std::string_view end = Trim(rest.substr(dash + 1));
  if (end.empty()) {
    out->last = kToTheEnd;
    return true;
  }
  if (!ParseFrame(end, entry, &out->last, error)) return false;
  if (out->last < out->first) {
    *error = "--keys: " + Quote(entry) + " ends before it starts";
    return false;
  }
  return true;
}

// Two entries for one key that would fight over a frame.
bool CheckOverlaps(const std::vector<Entry>& entries, std::string* error) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const Entry& a = entries[j];
      const Entry& b = entries[i];
      if (a.vk != b.vk || a.last < b.first || b.last < a.first) continue;
      if (a.tap && b.tap) {
        *error = "--keys: " + Quote(b.text) + " taps " + NameOf(b.vk) + " twice at frame " +
                 std::to_string(b.first);
      } else if (a.tap || b.tap) {
        const Entry& tap = a.tap ? a : b;
        const Entry& hold = a.tap ? b : a;
        *error = "--keys: " + Quote(tap.text) + " falls on a frame where " + Quote(hold.text) +
                 " already holds " + NameOf(tap.vk);
      } else {
        *error = "--keys: " + Quote(b.text) + " overlaps " + Quote(a.text) + " (both hold " +
                 NameOf(b.vk) + " at frame " + std::to_string(std::max(a.first, b.first)) + ")";
      }
      return false;
    }
  }
  return true;
}

}  // namespace

bool KeyScript::Held(int vk, int frame) const {
  return std::any_of(holds.begin(), holds.end(), [&](const KeyHold& h) {
    return h.vk == vk && h.first <= frame && frame <= h.last;
  });
}

bool KeyScript::Tapped(int vk, int frame) const {
  return std::any_of(taps.begin(), taps.end(),
                     [&](const KeyTap& t) { return t.vk == vk && t.frame == frame; });
}

std::string Quote(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\'' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (c == '\n') {
      quoted += "\\n";
    } else if (c == '\t') {
      quoted += "\\t";
    } else if (c == '\r') {
      quoted += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
      quoted += hex;
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool ParseKeyScript(std::string_view text, KeyScript* script, std::string* error) {
  if (Trim(text).empty()) {
    *error = "--keys: the key script is empty";
    return false;
  }
  std::vector<Entry> entries;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string_view::npos) comma = text.size();
    const std::string_view piece = Trim(text.substr(start, comma - start));
    if (piece.empty()) {
      *error = "--keys: empty entry in " + Quote(text) + " (a comma too many?)";
      return false;
    }
    Entry entry;
    if (!ParseEntry(piece, &entry, error)) return false;
    entries.push_back(entry);
    start = comma + 1;
  }
  if (!CheckOverlaps(entries, error)) return false;

  KeyScript parsed;
  for (const Entry& e : entries) {
    if (e.tap) {
      parsed.taps.push_back({e.vk, e.first});
    } else {
      parsed.holds.push_back({e.vk, e.first, e.last});
    }
  }
  *script = std::move(parsed);
  return true;
}

namespace {

// How an option's value is read.
enum class Kind {
  kFlag,   // no value
  kCount,  // a number from 1 to `max`, into `count`
  kTick,   // a number from 0 to 2^32 - 1, into start_tick
  kKeys,   // a key script, into keys
  kText,   // a path, into `text`
};

struct OptionRow {
  std::string_view name;
  Kind kind;
  int Options::*count = nullptr;
  int max = 0;
  const char* what = nullptr;  // what a count is, for its message
  std::string Options::*text = nullptr;
};

// Every option but --help and --version; usage.txt says what they do.
const OptionRow kOptionRows[] = {
    {"--frames", Kind::kCount, &Options::frames, kMaxFrames, "a frame count"},
    {"--start-tick", Kind::kTick},
    {"--keys", Kind::kKeys},
    {"--out", Kind::kText, nullptr, 0, nullptr, &Options::out_dir},
    {"--force", Kind::kFlag},
    {"--every", Kind::kCount, &Options::every, kMaxFrames, "a number"},
    {"--gif", Kind::kText, nullptr, 0, nullptr, &Options::gif_path},
    {"--build-up", Kind::kCount, &Options::build_up, kMaxBuildUp, "a number of polygons"},
    {"--trace", Kind::kText, nullptr, 0, nullptr, &Options::trace_path},
};
constexpr std::size_t kOptionCount = sizeof(kOptionRows) / sizeof(kOptionRows[0]);

const OptionRow* FindOption(std::string_view name) {
  for (const OptionRow& row : kOptionRows)
    if (row.name == name) return &row;
  return nullptr;
}

// Sets the option that `row` describes from `value` (not empty).
bool ReadValue(const OptionRow& row, std::string_view value, Options* o, std::string* error) {
  const std::string name(row.name);
  std::int64_t number = 0;
  switch (row.kind) {
    case Kind::kCount:
      if (!ParseNumber(value, row.max, &number) || number == 0) {
        *error = name + ": " + Quote(value) + " is not " + row.what + " from 1 to " +
                 std::to_string(row.max);
        return false;
      }
      o->*row.count = static_cast<int>(number);
      return true;
    case Kind::kTick:
      if (!ParseNumber(value, 0xFFFFFFFFll, &number)) {
        *error = name + ": " + Quote(value) + " is not a tick count from 0 to 4294967295";
        return false;
      }
      o->start_tick = static_cast<std::uint32_t>(number);
      return true;
    case Kind::kKeys:
      return ParseKeyScript(value, &o->keys, error);
    case Kind::kText:
      o->*row.text = std::string(value);
      return true;
    case Kind::kFlag:
      break;
  }
  return false;
}

// Entries that would never be used point at a mistake in --frames or --keys.
bool CheckScriptFitsRecording(const Options& o, std::string* error) {
  const auto late = [&](const std::string& what, int frame) {
    *error = "--keys: " + what + " at frame " + std::to_string(frame) +
             " is after the last frame (" + std::to_string(o.frames) + ")";
    return false;
  };
  for (const KeyHold& h : o.keys.holds) {
    if (h.first > o.frames) return late(NameOf(h.vk), h.first);
  }
  for (const KeyTap& t : o.keys.taps) {
    if (t.frame > o.frames) return late("the tap of " + std::string(NameOf(t.vk)), t.frame);
  }
  return true;
}

// GIF delays are 16-bit counts of 1/100 s: a longer one would wrap.
bool CheckGifDelays(const Options& o, std::string* error) {
  if (o.gif_path.empty()) return true;
  const int kept = o.frames / o.every;
  for (int i = 0; i < kept; ++i) {
    const int delay = GifDelay(i, o.every);
    if (delay > kMaxGifDelay) {
      const auto seconds = [](int cs) {
        char text[32];
        std::snprintf(text, sizeof(text), "%d.%02d s", cs / 100, cs % 100);
        return std::string(text);
      };
      *error = "--every " + std::to_string(o.every) + ": a frame of the GIF would show for " +
               seconds(delay) + ", longer than the " + seconds(kMaxGifDelay) +
               " a GIF frame can last";
      return false;
    }
  }
  return true;
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
  bool seen[kOptionCount] = {};
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg(argv[i]);
    if (arg.substr(0, 2) != "--" || arg.size() == 2) {
      *error = "unexpected argument " + Quote(arg) + " (see --help)";
      return false;
    }
    std::string_view name = arg;
    std::string_view value;
    bool has_value = false;
    if (const std::size_t eq = arg.find('='); eq != std::string_view::npos) {
      name = arg.substr(0, eq);
      value = arg.substr(eq + 1);
      has_value = true;
    }
    const OptionRow* row = FindOption(name);
    if (!row) {
      *error = "unknown option " + Quote(name) + " (see --help)";
      return false;
    }
    bool& given = seen[row - kOptionRows];
    if (given) {
      *error = std::string(name) + " is given twice";
      return false;
    }
    given = true;
    if (row->kind == Kind::kFlag) {
      if (has_value) {
        *error = std::string(name) + " takes no value";
        return false;
      }
      o.force = true;  // the only flag
      continue;
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        *error = std::string(name) + " needs a value";
        return false;
      }
      value = argv[++i];
    }
    if (Trim(value).empty()) {
      *error = std::string(name) + " needs a value";
      return false;
    }
    if (!ReadValue(*row, value, &o, error)) return false;
  }

  if (o.out_dir.empty() && o.gif_path.empty() && o.trace_path.empty()) {
    *error = "nothing to write: give --out DIR, --gif FILE or --trace FILE (see --help)";
    return false;
  }
  if (o.build_up != 0 && seen[FindOption("--every") - kOptionRows]) {
    *error = "--build-up keeps images of the last frame only: --every does not go with it";
    return false;
  }
  if (o.every > o.frames) {
    *error = "--every " + std::to_string(o.every) + " keeps none of the " +
             std::to_string(o.frames) + " frames";
    return false;
  }
  if (!CheckScriptFitsRecording(o, error) || !CheckGifDelays(o, error)) return false;
  *options = std::move(o);
  return true;
}

std::string Usage() { return kUsageText; }

}  // namespace capture
