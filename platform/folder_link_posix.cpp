#include <sys/stat.h>

#include "platform/folder_link.h"

bool IsFolderLink(const std::filesystem::path& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}
