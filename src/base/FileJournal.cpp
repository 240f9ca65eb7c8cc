#include "base/FileJournal.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "base/OutputFile.h"

namespace vocara {

namespace {

constexpr std::array<std::uint8_t, 4> JournalMagic{'V', 'J', 'N', '3'};
// A journal holds a header, a page and a link table, twice: far less than this.
constexpr std::uint64_t MaxJournalBytes = std::uint64_t{1} << 28;
constexpr std::uint64_t FnvStart = 14695981039346656037ull;
// The untouched bytes are read in pieces of this size.
constexpr std::size_t HashPiece = std::size_t{1} << 20;

void Put64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void PutBytes(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& bytes) {
  Put64(out, bytes.size());
  out.insert(out.end(), bytes.begin(), bytes.end());
}

std::uint64_t Fnv1a(const std::uint8_t* data, std::size_t size, std::uint64_t hash = FnvStart) {
  for (std::size_t i = 0; i < size; ++i) {
    hash ^= data[i];
    hash *= 1099511628211ull;
  }
  return hash;
}

class Reader {
 public:
  Reader(const std::vector<std::uint8_t>& bytes, std::size_t end) : bytes_(bytes), end_(end) {}
  bool Get64(std::uint64_t& value) {
    if (end_ - position_ < 8) return false;
    value = 0;
    for (int i = 0; i < 8; ++i) value |= std::uint64_t{bytes_[position_ + i]} << (8 * i);
    position_ += 8;
    return true;
  }
  bool Take(std::uint64_t size, std::vector<std::uint8_t>& out) {
    if (end_ - position_ < size) return false;
    const auto first = bytes_.begin() + static_cast<std::ptrdiff_t>(position_);
    out.assign(first, first + static_cast<std::ptrdiff_t>(size));
    position_ += static_cast<std::size_t>(size);
    return true;
  }
  bool TakeSized(std::vector<std::uint8_t>& out) {
    std::uint64_t size = 0;
    return Get64(size) && Take(size, out);
  }
  std::size_t Position() const { return position_; }
  void Skip(std::size_t n) { position_ += n; }

 private:
  const std::vector<std::uint8_t>& bytes_;
  std::size_t end_;
  std::size_t position_ = 0;
};

// One step of a change, counted down so that a test can stop the change where a crash would.
bool Step(int& steps) {
  if (steps <= 0) return false;
  --steps;
  return true;
}

bool Apply(FileHandle& file, const FileChanges& changes, int& steps) {
  for (const FileWrite& write : changes.writes) {
    if (!Step(steps)) return false;
    if (!file.Seek(write.offset) || !file.Write(write.bytes.data(), write.bytes.size())) return false;
  }
  if (!Step(steps) || !file.Truncate(changes.length)) return false;
  return Step(steps) && file.Sync();
}

// Up to `size` bytes of the file from `offset`; fewer where it ends.
bool ReadAt(FileHandle& file, std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& out) {
  const std::uint64_t fileSize = file.Size();
  const std::uint64_t end = std::min<std::uint64_t>(fileSize, offset + size);
  out.clear();
  if (end <= offset) return true;
  out.resize(static_cast<std::size_t>(end - offset));
  return file.Seek(offset) && file.Read(out.data(), out.size()) == out.size();
}

// The writes' places in offset order; false when two overlap.
bool SortedPlaces(const FileChanges& changes, std::vector<std::pair<std::uint64_t, std::uint64_t>>& places) {
  places.clear();
  for (const FileWrite& write : changes.writes)
    places.emplace_back(write.offset, write.offset + write.bytes.size());
  std::sort(places.begin(), places.end());
  for (std::size_t i = 1; i < places.size(); ++i)
    if (places[i].first < places[i - 1].second) return false;
  return true;
}

// The checksum of the file's bytes below min(size before, new length) that no write covers,
// the limit included; nullopt when the file is shorter than that or cannot be read.
std::optional<std::uint64_t> UntouchedChecksum(FileHandle& file, const FileChanges& changes) {
  std::vector<std::pair<std::uint64_t, std::uint64_t>> places;
  if (!SortedPlaces(changes, places)) return std::nullopt;
  const std::uint64_t limit = std::min(changes.size, changes.length);
  if (file.Size() < limit) return std::nullopt;
  std::uint64_t hash = FnvStart;
  std::uint8_t limitBytes[8];
  for (int i = 0; i < 8; ++i) limitBytes[i] = static_cast<std::uint8_t>(limit >> (8 * i));
  hash = Fnv1a(limitBytes, 8, hash);
  std::vector<std::uint8_t> piece(HashPiece);
  const auto hashRange = [&](std::uint64_t from, std::uint64_t to) {
    while (from < to) {
      const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, piece.size()));
      if (!file.Seek(from) || file.Read(piece.data(), n) != n) return false;
      hash = Fnv1a(piece.data(), n, hash);
      from += n;
    }
    return true;
  };
  std::uint64_t from = 0;
  places.emplace_back(limit, limit);
  for (const auto& [first, end] : places) {
    if (!hashRange(from, std::min(first, limit))) return std::nullopt;
    from = std::max(from, end);
  }
  return hash;
}

// Whether a journal was written for this file: its identity, the untouched bytes as they were,
// and each written place holding, byte by byte, its old bytes or the journal's (a write cut
// short by a crash leaves a mix; bytes past the old end may not be there yet).
bool BelongsTo(FileHandle& file, const FileChanges& changes) {
  if (file.Identity() != changes.identity || changes.replaced.size() != changes.writes.size()) return false;
  if (UntouchedChecksum(file, changes) != changes.untouched) return false;
  std::vector<std::uint8_t> now;
  for (std::size_t w = 0; w < changes.writes.size(); ++w) {
    const FileWrite& write = changes.writes[w];
    const std::vector<std::uint8_t>& old = changes.replaced[w];
    if (!ReadAt(file, write.offset, write.bytes.size(), now)) return false;
    if (now.size() < old.size()) return false;
    for (std::size_t i = 0; i < now.size(); ++i)
      if (now[i] != write.bytes[i] && (i >= old.size() || now[i] != old[i])) return false;
  }
  return true;
}

bool RemoveJournal(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(JournalPath(path), ec);
  return !ec;
}

// Moves a journal that must not be applied out of the way, keeping it for whoever wants to
// look: "<journal>.stale", or "<journal>.stale-2" and on where that is taken.
void SetAside(const std::string& path, std::string* where) {
  const std::string journal = JournalPath(path);
  for (int n = 1; n <= 100; ++n) {
    std::string name = journal;
    name += ".stale";
    if (n > 1) {
      name += '-';
      name += std::to_string(n);
    }
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(name, ec))) continue;
    if (::rename(journal.c_str(), name.c_str()) != 0) break;
    if (where) *where = name;
    return;
  }
  // Nowhere to put it: it stays, never applied.
  if (where) *where = journal;
}

}  // namespace

std::string JournalPath(const std::string& path) { return path + ".journal"; }

std::vector<std::uint8_t> SerialiseJournal(const FileChanges& changes) {
  std::vector<std::uint8_t> out(JournalMagic.begin(), JournalMagic.end());
  Put64(out, changes.identity.device);
  Put64(out, changes.identity.inode);
  Put64(out, changes.size);
  Put64(out, changes.length);
  Put64(out, changes.untouched);
  Put64(out, changes.writes.size());
  for (std::size_t i = 0; i < changes.writes.size(); ++i) {
    Put64(out, changes.writes[i].offset);
    PutBytes(out, changes.writes[i].bytes);
    PutBytes(out, i < changes.replaced.size() ? changes.replaced[i] : std::vector<std::uint8_t>());
  }
  Put64(out, Fnv1a(out.data(), out.size()));
  return out;
}

bool ParseJournal(const std::vector<std::uint8_t>& bytes, FileChanges& changes) {
  if (bytes.size() < JournalMagic.size() + 56) return false;
  const std::size_t body = bytes.size() - 8;
  Reader checksum(bytes, bytes.size());
  checksum.Skip(body);
  std::uint64_t stored = 0;
  if (!checksum.Get64(stored) || stored != Fnv1a(bytes.data(), body)) return false;
  if (!std::equal(JournalMagic.begin(), JournalMagic.end(), bytes.begin())) return false;

  Reader reader(bytes, body);
  reader.Skip(JournalMagic.size());
  FileChanges parsed;
  std::uint64_t count = 0;
  if (!reader.Get64(parsed.identity.device) || !reader.Get64(parsed.identity.inode) ||
      !reader.Get64(parsed.size) || !reader.Get64(parsed.length) || !reader.Get64(parsed.untouched) ||
      !reader.Get64(count))
    return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    FileWrite write;
    std::vector<std::uint8_t> old;
    if (!reader.Get64(write.offset) || !reader.TakeSized(write.bytes) || !reader.TakeSized(old)) return false;
    parsed.writes.push_back(std::move(write));
    parsed.replaced.push_back(std::move(old));
  }
  if (reader.Position() != body) return false;
  changes = std::move(parsed);
  return true;
}

bool ChangeFileSafely(const std::string& path, FileHandle& file, const FileChanges& changes, int steps) {
  if (!Step(steps)) return false;
  FileChanges owned = changes;
  const std::optional<FileIdentity> identity = file.Identity();
  if (!identity) return false;
  owned.identity = *identity;
  owned.size = file.Size();
  owned.replaced.clear();
  for (const FileWrite& write : changes.writes) {
    std::vector<std::uint8_t> old;
    if (!ReadAt(file, write.offset, write.bytes.size(), old)) return false;
    owned.replaced.push_back(std::move(old));
  }
  const std::optional<std::uint64_t> untouched = UntouchedChecksum(file, owned);
  if (!untouched) return false;
  owned.untouched = *untouched;
  OutputFile journal;
  // The journal is this process's own, written under the file's lock: no lock of its own.
  if (journal.Begin(JournalPath(path), false, OutputLock::None) != MessageId::None) return false;
  const std::vector<std::uint8_t> bytes = SerialiseJournal(owned);
  if (!journal.File().Write(bytes.data(), bytes.size()) || !journal.Commit()) return false;
  if (!Apply(file, changes, steps)) return false;
  return Step(steps) && RemoveJournal(path);
}

bool JournalPending(const std::string& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(JournalPath(path), ec));
}

JournalRecovery RecoverFileChanges(const std::string& path, FileHandle& file, std::string* setAside) {
  const std::string journalPath = JournalPath(path);
  if (!JournalPending(path)) return JournalRecovery::NoJournal;
  FileHandle journal = FileHandle::OpenForReading(journalPath);
  const std::uint64_t size = journal.Size();
  std::vector<std::uint8_t> bytes;
  FileChanges changes;
  bool whole = false;
  if (journal.IsOpen() && size <= MaxJournalBytes) {
    bytes.resize(static_cast<std::size_t>(size));
    whole = journal.Read(bytes.data(), bytes.size()) == bytes.size() && ParseJournal(bytes, changes);
  }
  journal.Close();
  if (whole && !BelongsTo(file, changes)) whole = false;
  if (!whole) {
    SetAside(path, setAside);
    return JournalRecovery::Discarded;
  }
  int steps = AllSteps;
  if (!Apply(file, changes, steps)) return JournalRecovery::Failed;
  RemoveJournal(path);
  return JournalRecovery::Completed;
}

}  // namespace vocara
