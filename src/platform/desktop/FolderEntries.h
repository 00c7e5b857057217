#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

namespace platform {

class BackgroundWork;

// What an entry of a folder is; a link counts as what it leads to, a dead
// link as Other.
enum class EntryKind { File, Folder, Other };

struct FolderEntry {
  std::string name;  // as the system gives it
  EntryKind kind;
};

// Whether the path leads to a folder (through links).
bool isFolder(const QString& path);

// The entries of a folder, as the system lists them, without "." and "..":
// straight from the folder, asking about an entry only when the listing does
// not say what it is. Empty for a folder that cannot be read; what was read
// when the work is cancelled.
//
// The latest folder read is kept for a moment, as long as the folder has not
// changed since: the folder list and the file list of one folder, read one
// after the other, read it once.
std::shared_ptr<const std::vector<FolderEntry>> readFolder(const QString& folder,
                                                           const BackgroundWork* work = nullptr);

}  // namespace platform
