#include "base/FileJournal.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <system_error>

#include "base/OutputFile.h"

namespace vocara {

namespace {

constexpr std::array<std::uint8_t, 4> JournalMagic{'V', 'J', 'N', '2'};
// A journal holds a header, a page and a link table: far less than this.
constexpr std::uint64_t MaxJournalBytes = std::uint64_t{1} << 28;

void Put64(std::vector<std::uint8_t>& out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::uint64_t Fnv1a(const std::uint8_t* data, std::size_t size) {
  std::uint64_t hash = 14695981039346656037ull;
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

// The bytes the first write will replace, as they are now (empty when there is no write).
bool ReadReplaced(FileHandle& file, const FileChanges& changes, std::vector<std::uint8_t>& replaced) {
  replaced.clear();
  if (changes.writes.empty()) return true;
  const FileWrite& first = changes.writes.front();
  const std::uint64_t size = file.Size();
  const std::uint64_t end = std::min<std::uint64_t>(size, first.offset + first.bytes.size());
  if (end <= first.offset) return true;
  replaced.resize(static_cast<std::size_t>(end - first.offset));
  return file.Seek(first.offset) && file.Read(replaced.data(), replaced.size()) == replaced.size();
}

// Whether a journal was written for this file: its identity, and the bytes of the first write
// either still as they were or already as the journal writes them.
bool BelongsTo(FileHandle& file, const FileChanges& changes) {
  if (file.Identity() != changes.identity) return false;
  if (changes.writes.empty()) return true;
  const FileWrite& first = changes.writes.front();
  std::vector<std::uint8_t> now(std::max(changes.replaced.size(), first.bytes.size()));
  if (!file.Seek(first.offset)) return false;
  now.resize(file.Read(now.data(), now.size()));
  const auto startsWith = [&now](const std::vector<std::uint8_t>& bytes) {
    return now.size() >= bytes.size() && std::equal(bytes.begin(), bytes.end(), now.begin());
  };
  return startsWith(changes.replaced) || startsWith(first.bytes);
}

bool RemoveJournal(const std::string& path) {
  std::error_code ec;
  std::filesystem::remove(JournalPath(path), ec);
  return !ec;
}

}  // namespace

std::string JournalPath(const std::string& path) { return path + ".journal"; }

std::vector<std::uint8_t> SerialiseJournal(const FileChanges& changes) {
  std::vector<std::uint8_t> out(JournalMagic.begin(), JournalMagic.end());
  Put64(out, changes.identity.device);
  Put64(out, changes.identity.inode);
  Put64(out, changes.length);
  Put64(out, changes.replaced.size());
  out.insert(out.end(), changes.replaced.begin(), changes.replaced.end());
  Put64(out, changes.writes.size());
  for (const FileWrite& write : changes.writes) {
    Put64(out, write.offset);
    Put64(out, write.bytes.size());
    out.insert(out.end(), write.bytes.begin(), write.bytes.end());
  }
  Put64(out, Fnv1a(out.data(), out.size()));
  return out;
}

bool ParseJournal(const std::vector<std::uint8_t>& bytes, FileChanges& changes) {
  if (bytes.size() < JournalMagic.size() + 48) return false;
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
  std::uint64_t replacedSize = 0;
  if (!reader.Get64(parsed.identity.device) || !reader.Get64(parsed.identity.inode) ||
      !reader.Get64(parsed.length) || !reader.Get64(replacedSize) ||
      !reader.Take(replacedSize, parsed.replaced) || !reader.Get64(count))
    return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    FileWrite write;
    std::uint64_t size = 0;
    if (!reader.Get64(write.offset) || !reader.Get64(size) || !reader.Take(size, write.bytes)) return false;
    parsed.writes.push_back(std::move(write));
  }
  if (reader.Position() != body) return false;
  changes = std::move(parsed);
  return true;
}

bool ChangeFileSafely(const std::string& path, FileHandle& file, const FileChanges& changes, int steps) {
  if (!Step(steps)) return false;
  FileChanges owned = changes;
  const std::optional<FileIdentity> identity = file.Identity();
  if (!identity || !ReadReplaced(file, changes, owned.replaced)) return false;
  owned.identity = *identity;
  OutputFile journal;
  if (journal.Begin(JournalPath(path)) != MessageId::None) return false;
  const std::vector<std::uint8_t> bytes = SerialiseJournal(owned);
  if (!journal.File().Write(bytes.data(), bytes.size()) || !journal.Commit()) return false;
  if (!Apply(file, changes, steps)) return false;
  return Step(steps) && RemoveJournal(path);
}

JournalRecovery RecoverFileChanges(const std::string& path, FileHandle& file) {
  const std::string journalPath = JournalPath(path);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(journalPath, ec)) return JournalRecovery::NoJournal;
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
    RemoveJournal(path);
    return JournalRecovery::Discarded;
  }
  int steps = AllSteps;
  if (!Apply(file, changes, steps)) return JournalRecovery::Failed;
  RemoveJournal(path);
  return JournalRecovery::Completed;
}

}  // namespace vocara
