// File calls built on the backend's primitives, the same on every platform.
#include "platform/files.h"

namespace platform {

PathKind pathKind(const std::string& path) {
  const std::uint32_t attributes = fileAttributes(path);
  if (attributes == kInvalidFileAttributes) return PathKind::Missing;
  return (attributes & kAttributeDirectory) != 0 ? PathKind::Directory : PathKind::File;
}

std::vector<FindData> findAll(const std::string& pattern) {
  std::vector<FindData> entries;
  DirectorySearch search;
  FindData entry;
  if (!search.first(pattern, entry)) return entries;
  do {
    entries.push_back(entry);
  } while (search.next(entry));
  return entries;
}

}  // namespace platform
