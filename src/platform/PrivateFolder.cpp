#include "platform/PrivateFolder.h"

#include <sys/stat.h>

#include <cerrno>

namespace wendrake {

bool MakePrivateFolders(const std::filesystem::path& folder) {
  std::filesystem::path built;
  for (const auto& part : folder) {
    built /= part;
    if (::mkdir(built.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info {};
  return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace wendrake
