#include "engine/midi/StandardMidiFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <optional>
#include <sstream>
#include <tuple>

#include "base/FileHandle.h"

namespace vocara {
namespace {

// A note event of a track, in the file's ticks.
struct KeyEvent {
  std::uint64_t tick = 0;
  int track = 0;
  int channel = 0;
  int key = 0;
  int velocity = 0;  // 0: the note ends
};

struct TempoChange {
  std::uint64_t tick = 0;
  std::uint32_t microseconds = 0;  // per quarter note
};

std::string At(std::size_t offset) {
  std::ostringstream text;
  text << " at byte " << offset;
  return text.str();
}

// "track 2: what at byte 1234", tracks counted from 1 as the user counts them.
std::string TrackProblem(int track, std::size_t offset, const char* what) {
  std::ostringstream text;
  text << "track " << track + 1 << ": " << what;
  return text.str() + At(offset);
}

class Bytes {
 public:
  Bytes(std::span<const std::uint8_t> bytes, std::size_t begin, std::size_t end)
      : bytes_(bytes), pos_(begin), end_(end) {}
  std::size_t Pos() const { return pos_; }
  std::size_t Left() const { return end_ - pos_; }
  bool Done() const { return pos_ >= end_; }
  std::uint8_t Peek() const { return bytes_[pos_]; }
  std::uint8_t Take() { return bytes_[pos_++]; }
  void Skip(std::size_t count) { pos_ += count; }
  std::uint32_t Big(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | Take();
    return value;
  }
  // A variable-length quantity of at most four bytes; nullopt when it runs past the end or on.
  std::optional<std::uint32_t> Quantity(bool& tooLong) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      if (Done()) return std::nullopt;
      const std::uint8_t byte = Take();
      value = value << 7 | (byte & 0x7fu);
      if (!(byte & 0x80u)) return value;
    }
    tooLong = true;
    return std::nullopt;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_;
  std::size_t end_;
};

// The events of one track chunk; an empty string when it was read.
std::string ReadTrack(std::span<const std::uint8_t> file, std::size_t begin, std::size_t end, int track,
                      std::vector<KeyEvent>& keys, std::vector<TempoChange>& tempi, std::uint64_t& lastTick) {
  Bytes bytes(file, begin, end);
  std::uint64_t tick = 0;
  int running = 0;  // the running status, 0 when there is none
  while (!bytes.Done()) {
    const std::size_t eventAt = bytes.Pos();
    bool tooLong = false;
    const std::optional<std::uint32_t> delta = bytes.Quantity(tooLong);
    if (!delta) {
      return TrackProblem(
          track, eventAt,
          tooLong ? "a delta time longer than 4 bytes" : "an event runs past the end of its chunk");
    }
    tick += *delta;
    if (bytes.Done()) return TrackProblem(track, eventAt, "an event runs past the end of its chunk");
    int status = bytes.Peek();
    if (status & 0x80) {
      bytes.Skip(1);
    } else if (running != 0) {
      status = running;
    } else {
      return TrackProblem(track, bytes.Pos(), "a data byte without a status before it");
    }
    if (status == 0xff) {
      running = 0;
      if (bytes.Done()) return TrackProblem(track, eventAt, "an event runs past the end of its chunk");
      const int type = bytes.Take();
      const std::optional<std::uint32_t> length = bytes.Quantity(tooLong);
      if (!length || *length > bytes.Left())
        return TrackProblem(track, eventAt, "a meta event runs past the end of its chunk");
      if (type == 0x51) {
        if (*length != 3) return TrackProblem(track, eventAt, "a tempo event not 3 bytes long");
        const std::uint32_t microseconds = bytes.Big(3);
        if (microseconds == 0)
          return TrackProblem(track, eventAt, "a tempo of 0 microseconds a quarter note");
        tempi.push_back({tick, microseconds});
      } else {
        bytes.Skip(*length);
        if (type == 0x2f) break;  // end of track: what follows in the chunk is not read
      }
      continue;
    }
    if (status == 0xf0 || status == 0xf7) {
      running = 0;
      const std::optional<std::uint32_t> length = bytes.Quantity(tooLong);
      if (!length || *length > bytes.Left())
        return TrackProblem(track, eventAt, "a system exclusive message runs past the end of its chunk");
      bytes.Skip(*length);
      continue;
    }
    if (status >= 0xf0) return TrackProblem(track, eventAt, "a system message a file may not hold");
    running = status;
    const int kind = status & 0xf0;
    const int dataBytes = kind == 0xc0 || kind == 0xd0 ? 1 : 2;
    if (bytes.Left() < static_cast<std::size_t>(dataBytes))
      return TrackProblem(track, eventAt, "an event runs past the end of its chunk");
    std::array<int, 2> data{};
    for (int i = 0; i < dataBytes; ++i) {
      data[static_cast<std::size_t>(i)] = bytes.Take();
      if (data[static_cast<std::size_t>(i)] & 0x80)
        return TrackProblem(track, bytes.Pos() - 1, "a data byte of 128 or more");
    }
    if (kind == 0x90 || kind == 0x80)
      keys.push_back({tick, track, status & 0x0f, data[0], kind == 0x90 ? data[1] : 0});
  }
  lastTick = tick;
  return {};
}

// Seconds of every tick through the tempo map (ticks per quarter) or the SMPTE time code.
class Clock {
 public:
  Clock(std::uint16_t division, std::vector<TempoChange> tempi) {
    if (division & 0x8000) {
      const int framesPerSecond = -static_cast<std::int8_t>(division >> 8);
      secondsPerTick_ = 1.0 / (framesPerSecond * (division & 0xff));
      return;
    }
    ticksPerQuarter_ = division;
    std::stable_sort(tempi.begin(), tempi.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    std::uint64_t tick = 0;
    double seconds = 0;
    std::uint32_t tempo = MidiMicrosecondsPerQuarter;  // 120 beats a minute until the first change
    for (const TempoChange& change : tempi) {
      seconds += static_cast<double>(change.tick - tick) * tempo / (1e6 * ticksPerQuarter_);
      tick = change.tick;
      tempo = change.microseconds;
      map_.push_back({tick, seconds, tempo});
    }
  }
  double Seconds(std::uint64_t tick) const {
    if (ticksPerQuarter_ == 0) return static_cast<double>(tick) * secondsPerTick_;
    const auto after = std::upper_bound(map_.begin(), map_.end(), tick,
                                        [](std::uint64_t t, const Segment& s) { return t < s.tick; });
    if (after == map_.begin())
      return static_cast<double>(tick) * MidiMicrosecondsPerQuarter / (1e6 * ticksPerQuarter_);
    const Segment& segment = *std::prev(after);
    return segment.seconds +
           static_cast<double>(tick - segment.tick) * segment.tempo / (1e6 * ticksPerQuarter_);
  }

 private:
  struct Segment {
    std::uint64_t tick;
    double seconds;
    std::uint32_t tempo;
  };
  std::uint32_t ticksPerQuarter_ = 0;
  double secondsPerTick_ = 0;
  std::vector<Segment> map_;
};

void AppendQuantity(std::vector<std::uint8_t>& out, std::uint32_t value) {
  std::array<std::uint8_t, 5> groups{};
  int count = 0;
  do {
    groups[static_cast<std::size_t>(count++)] = static_cast<std::uint8_t>(value & 0x7f);
    value >>= 7;
  } while (value != 0 && count < 5);
  for (int i = count - 1; i >= 0; --i)
    out.push_back(static_cast<std::uint8_t>(groups[static_cast<std::size_t>(i)] | (i > 0 ? 0x80 : 0)));
}

void AppendBig(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

MidiFileRead ParseStandardMidiFile(std::span<const std::uint8_t> file) {
  MidiFileRead read;
  const auto refuse = [&](std::string problem) {
    read.notes.clear();
    read.problem = std::move(problem);
    return read;
  };
  if (file.size() < 8 || !std::equal(file.begin(), file.begin() + 4, "MThd"))
    return refuse("not a Standard MIDI File (it does not start with MThd)");
  Bytes header(file, 4, file.size());
  const std::uint32_t headerLength = header.Big(4);
  if (headerLength < 6 || headerLength > header.Left()) return refuse("the header chunk is cut short");
  const std::uint32_t format = header.Big(2);
  const std::uint32_t tracks = header.Big(2);
  const auto division = static_cast<std::uint16_t>(header.Big(2));
  if (format == 2) return refuse("format 2 (independent patterns) is not read");
  if (format > 2) return refuse("format " + std::to_string(format) + " is not a Standard MIDI File format");
  if (tracks == 0) return refuse("the file holds no tracks");
  if (format == 0 && tracks != 1) return refuse("format 0 with " + std::to_string(tracks) + " tracks");
  if (division == 0) return refuse("0 ticks per quarter note");
  if (division & 0x8000) {
    const int framesPerSecond = -static_cast<std::int8_t>(division >> 8);
    if (!(framesPerSecond == 24 || framesPerSecond == 25 || framesPerSecond == 29 || framesPerSecond == 30) ||
        (division & 0xff) == 0)
      return refuse("an SMPTE time division that is not 24, 25, 29 or 30 frames a second");
  }
  read.format = static_cast<int>(format);
  read.tracks = static_cast<int>(tracks);

  std::vector<KeyEvent> keys;
  std::vector<TempoChange> tempi;
  std::vector<std::uint64_t> lastTicks;
  std::size_t pos = 8 + headerLength;
  int track = 0;
  while (track < static_cast<int>(tracks)) {
    if (file.size() - pos < 8) {
      return refuse("track " + std::to_string(track + 1) + " of " + std::to_string(tracks) +
                    " is missing: the file ends" + At(pos));
    }
    const bool isTrack = std::equal(file.begin() + static_cast<std::ptrdiff_t>(pos),
                                    file.begin() + static_cast<std::ptrdiff_t>(pos + 4), "MTrk");
    Bytes chunk(file, pos + 4, file.size());
    const std::uint32_t length = chunk.Big(4);
    if (length > chunk.Left()) return refuse("a chunk runs past the end of the file" + At(pos));
    const std::size_t begin = pos + 8;
    pos = begin + length;
    if (!isTrack) continue;  // a chunk of a kind this reader does not know
    std::uint64_t lastTick = 0;
    if (std::string problem = ReadTrack(file, begin, pos, track, keys, tempi, lastTick); !problem.empty())
      return refuse(std::move(problem));
    lastTicks.push_back(lastTick);
    ++track;
  }

  const Clock clock(division, std::move(tempi));
  // Each track's keys in its own order (the events were gathered track after track).
  std::array<std::array<std::optional<std::pair<std::uint64_t, int>>, 128>, 16> sounding{};
  const auto finish = [&](int trackOf, int channel, int key, std::uint64_t endTick) {
    auto& start = sounding[static_cast<std::size_t>(channel)][static_cast<std::size_t>(key)];
    if (!start) return;
    if (endTick > start->first)
      read.notes.push_back(
          {clock.Seconds(start->first), clock.Seconds(endTick), key, start->second, channel, trackOf});
    start.reset();
  };
  std::size_t next = 0;
  for (int t = 0; t < track; ++t) {
    for (; next < keys.size() && keys[next].track == t; ++next) {
      const KeyEvent& event = keys[next];
      finish(t, event.channel, event.key, event.tick);
      if (event.velocity > 0)
        sounding[static_cast<std::size_t>(event.channel)][static_cast<std::size_t>(event.key)] =
            std::pair(event.tick, event.velocity);
    }
    for (int channel = 0; channel < 16; ++channel)
      for (int key = 0; key < 128; ++key) finish(t, channel, key, lastTicks[static_cast<std::size_t>(t)]);
  }
  std::stable_sort(read.notes.begin(), read.notes.end(), [](const MidiNote& a, const MidiNote& b) {
    return std::tie(a.start, a.key) < std::tie(b.start, b.key);
  });
  return read;
}

MidiFileRead ReadStandardMidiFile(const std::string& path) {
  MidiFileRead read;
  // Through FileHandle, which refuses a named pipe or a device at once: a guide is a file, and
  // waiting on a pipe for a writer would hang the command before it says anything.
  FileHandle file = FileHandle::OpenForReading(path);
  if (!file.IsOpen()) {
    read.problem = "cannot be read";
    return read;
  }
  const std::uint64_t size = file.Size();
  if (size > LargestMidiFile) {
    read.problem = "is larger than a melody can be (" + std::to_string(LargestMidiFile >> 20) + " MiB)";
    return read;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (!file.Seek(0) || file.Read(bytes.data(), bytes.size()) != bytes.size()) {
    read.problem = "cannot be read";
    return read;
  }
  return ParseStandardMidiFile(bytes);
}

int PitchBendValue(double cents) {
  if (!std::isfinite(cents)) return 8192;
  return static_cast<int>(std::clamp(std::lround(8192 + cents / 200.0 * 8192), 0L, 16383L));
}

std::vector<std::uint8_t> StandardMidiFileBytes(std::span<const MidiOutNote> notes, bool bends) {
  struct Event {
    std::uint64_t tick;
    int order;  // 0 note-off, 1 bend, 2 note-on
    std::size_t note;
    std::array<std::uint8_t, 3> bytes;
  };
  std::vector<Event> events;
  events.reserve(notes.size() * 3);
  const auto ticks = [](double seconds) {
    return std::isfinite(seconds) && seconds > 0
               ? static_cast<std::uint64_t>(std::llround(seconds * MidiTicksPerSecond))
               : std::uint64_t{0};
  };
  for (std::size_t i = 0; i < notes.size(); ++i) {
    const MidiOutNote& note = notes[i];
    const auto key = static_cast<std::uint8_t>(std::clamp(note.key, 0, 127));
    const auto velocity = static_cast<std::uint8_t>(std::clamp(note.velocity, 1, 127));
    const std::uint64_t on = ticks(note.start);
    const std::uint64_t off = std::max(on + 1, ticks(note.end));
    if (bends) {
      const int bend = PitchBendValue(note.bendCents);
      events.push_back(
          {on, 1, i, {0xe0, static_cast<std::uint8_t>(bend & 0x7f), static_cast<std::uint8_t>(bend >> 7)}});
    }
    events.push_back({on, 2, i, {0x90, key, velocity}});
    events.push_back({off, 0, i, {0x80, key, 64}});
  }
  // At one tick the note-offs come first, then each note's bend and note-on together.
  std::sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    const int aGroup = a.order == 0 ? 0 : 1;
    const int bGroup = b.order == 0 ? 0 : 1;
    return std::tie(a.tick, aGroup, a.note, a.order) < std::tie(b.tick, bGroup, b.note, b.order);
  });

  std::vector<std::uint8_t> track;
  const auto event = [&](std::uint32_t delta, std::initializer_list<std::uint8_t> bytes) {
    AppendQuantity(track, delta);
    track.insert(track.end(), bytes);
  };
  event(0, {0xff, 0x51, 0x03, static_cast<std::uint8_t>(MidiMicrosecondsPerQuarter >> 16),
            static_cast<std::uint8_t>(MidiMicrosecondsPerQuarter >> 8 & 0xff),
            static_cast<std::uint8_t>(MidiMicrosecondsPerQuarter & 0xff)});
  if (bends) {
    // Registered parameter 0, the pitch-bend range: 2 semitones, 0 cents.
    event(0, {0xb0, 0x65, 0x00});
    event(0, {0xb0, 0x64, 0x00});
    event(0, {0xb0, 0x06, 0x02});
    event(0, {0xb0, 0x26, 0x00});
  }
  std::uint64_t tick = 0;
  for (const Event& e : events) {
    const std::uint64_t delta = e.tick - tick;
    tick = e.tick;
    event(static_cast<std::uint32_t>(std::min<std::uint64_t>(delta, 0x0fffffff)),
          {e.bytes[0], e.bytes[1], e.bytes[2]});
  }
  event(0, {0xff, 0x2f, 0x00});

  std::vector<std::uint8_t> file{'M', 'T', 'h', 'd'};
  AppendBig(file, 6, 4);
  AppendBig(file, 0, 2);
  AppendBig(file, 1, 2);
  AppendBig(file, MidiTicksPerQuarter, 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  AppendBig(file, static_cast<std::uint32_t>(track.size()), 4);
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

}  // namespace vocara
