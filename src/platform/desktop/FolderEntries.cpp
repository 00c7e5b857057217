#include "platform/desktop/FolderEntries.h"

#include "platform/desktop/BackgroundWork.h"
#include "platform/desktop/FileNames.h"

#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <chrono>
#include <mutex>
#include <tuple>

namespace platform {

namespace {

EntryKind kindOf(int folder, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG: return EntryKind::File;
    case DT_DIR: return EntryKind::Folder;
    case DT_LNK:
    case DT_UNKNOWN: break;
    default: return EntryKind::Other;
  }
  struct stat info {};
  if (::fstatat(folder, entry.d_name, &info, 0) != 0) return EntryKind::Other;
  if (S_ISREG(info.st_mode)) return EntryKind::File;
  return S_ISDIR(info.st_mode) ? EntryKind::Folder : EntryKind::Other;
}

// A folder's state: any entry added, removed or renamed changes it.
using FolderState = std::tuple<dev_t, ino_t, std::int64_t, std::int64_t>;

FolderState stateOf(const struct stat& info) {
  return {info.st_dev, info.st_ino, std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec,
          std::int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec};
}

// How long the latest folder read is kept.
constexpr std::chrono::seconds Kept{2};

struct Latest {
  std::mutex mutex;
  QByteArray folder;
  FolderState state;
  std::chrono::steady_clock::time_point read;
  std::shared_ptr<const std::vector<FolderEntry>> entries;
};

Latest& latest() {
  static Latest kept;
  return kept;
}

}  // namespace

std::shared_ptr<const std::vector<FolderEntry>> readFolder(const QString& folder, const BackgroundWork* work) {
  auto entries = std::make_shared<std::vector<FolderEntry>>();
  const QByteArray native = platform::nativeFileName(folder);
  DIR* opened = ::opendir(native.constData());
  if (!opened) return entries;
  const int descriptor = ::dirfd(opened);
  struct stat info {};
  ::fstat(descriptor, &info);
  const FolderState state = stateOf(info);
  const auto now = std::chrono::steady_clock::now();
  {
    Latest& kept = latest();
    const std::lock_guard lock(kept.mutex);
    if (kept.entries && kept.folder == native && kept.state == state && now - kept.read < Kept) {
      ::closedir(opened);
      return kept.entries;
    }
  }
  std::size_t count = 0;
  while (const dirent* entry = ::readdir(opened)) {
    if (++count % 4096 == 0 && work && work->cancelled()) break;
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    entries->push_back({name, kindOf(descriptor, *entry)});
  }
  ::closedir(opened);
  if (work && work->cancelled()) return entries;
  Latest& kept = latest();
  const std::lock_guard lock(kept.mutex);
  kept.folder = native;
  kept.state = state;
  kept.read = now;
  kept.entries = entries;
  return entries;
}

bool isFolder(const QString& path) {
  struct stat info {};
  return ::stat(nativeFileName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace platform
