#include "app/settings_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <filesystem>
#include <mutex>

#include "app/text_encoding.h"
#include "platform/atomic_file.h"
#include "platform/paths.h"

namespace app {

namespace {

// Read-modify-write cycles of one process must not interleave.
std::mutex& WriteMutex() {
  static std::mutex m;
  return m;
}

} // namespace

int ParseSettingsInt(std::string_view value) {
  long long v = 0;
  for (char c : value) {
    if (c < '0' || c > '9') break;
    v = v * 10 + (c - '0');
    if (v > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(v);
}

std::string SettingsStore::PathFor(const std::string& executableDir,
                                   const std::string& configHome) {
  if (!executableDir.empty()) {
    std::string beside = executableDir;
    if (beside.back() != '/') beside += '/';
    beside += "Settings.ini";
    std::error_code ec;
    if (std::filesystem::is_regular_file(beside, ec)) return beside;
  }
  std::string dir = configHome;
  if (!dir.empty() && dir.back() == '/') dir.pop_back();
  return dir + "/pictofold/Settings.ini";
}

std::string SettingsStore::DefaultPath() {
  return PathFor(platform::ExecutableDir(), platform::XdgConfigHome());
}

SettingsStore::LoadResult SettingsStore::Load(IniDocument& doc) const {
  // O_NONBLOCK: a FIFO in place of the file must not hang the program.
  int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? LoadResult::kMissing : LoadResult::kUnreadable;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<unsigned long long>(st.st_size) > kMaxIniFileBytes) {
    ::close(fd);
    return LoadResult::kUnreadable;
  }
  std::string bytes;
  char buf[16384];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return LoadResult::kUnreadable;
    }
    if (n == 0) break;
    bytes.append(buf, static_cast<size_t>(n));
    // The file may grow while we read it.
    if (bytes.size() > kMaxIniFileBytes) {
      ::close(fd);
      return LoadResult::kUnreadable;
    }
  }
  ::close(fd);
  doc = IniDocument::Parse(bytes);
  return LoadResult::kOk;
}

IniDocument SettingsStore::Snapshot() const {
  IniDocument doc;
  Load(doc);
  for (const auto& [key, value] : overlay_)
    doc.Set(kSettingsSection, key, value);
  return doc;
}

void SettingsStore::Overlay(std::string_view key, std::string_view value) {
  for (auto& [k, v] : overlay_) {
    if (NamesEqual(k, key)) {
      v = value;
      return;
    }
  }
  overlay_.emplace_back(std::string(key), std::string(value));
}

int SettingsStore::ReadInt(const IniDocument& doc, std::string_view key, int defaultValue) {
  auto v = doc.Get(kSettingsSection, key);
  if (!v || v->empty()) return defaultValue;
  return ParseSettingsInt(*v);
}

std::string SettingsStore::ReadText(const IniDocument& doc, std::string_view key,
                                    std::string_view defaultValue, int capacity) {
  auto v = doc.Get(kSettingsSection, key);
  std::string text = v ? *v : std::string(defaultValue);
  auto nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  if (capacity < 1) return {};
  return TruncateUtf8(text, static_cast<size_t>(capacity - 1));
}

int SettingsStore::ReadInt(std::string_view key, int defaultValue) const {
  return ReadInt(Snapshot(), key, defaultValue);
}

std::string SettingsStore::ReadText(std::string_view key, std::string_view defaultValue,
                                    int capacity) const {
  return ReadText(Snapshot(), key, defaultValue, capacity);
}

int SettingsStore::ReadInt(const SettingKey& key) const {
  return ReadInt(key.name, key.intDefault);
}

std::string SettingsStore::ReadText(const SettingKey& key) const {
  return ReadText(key.name, TextDefaultOf(key), key.capacity);
}

bool SettingsStore::WriteMany(const std::vector<std::pair<std::string, std::string>>& keyValues) {
  std::lock_guard<std::mutex> lock(WriteMutex());
  IniDocument doc;
  // Never replace a file we could not read: its content would be lost.
  if (Load(doc) == LoadResult::kUnreadable) return false;
  for (const auto& [key, value] : keyValues)
    if (!doc.Set(kSettingsSection, key, value)) return false;
  return platform::WriteFileAtomically(path_, doc.Serialize());
}

bool SettingsStore::WriteInt(std::string_view key, int value) {
  return WriteMany({{std::string(key), std::to_string(value)}});
}

bool SettingsStore::WriteText(std::string_view key, std::string_view text) {
  return WriteMany({{std::string(key), std::string(text)}});
}

} // namespace app
