#pragma once
// Carrying a folder tree to another place without touching the original: each
// file hard-linked where the file system allows it (an add-on of thousands of
// files then costs only names), copied with its times where it does not; or,
// where the original must stay as it is whatever happens to the carried tree
// (it is kept as a snapshot), each file with storage of its own: a clone where
// the file system offers one, else a copy.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace wendrake {

// Every name in the folder but "." and "..".
std::vector<std::string> ListFolder(int folderFd);

enum class Carrying { Linked, OwnStorage };

// The bytes of the files below `folder`, not following links: what carrying it
// with storage of its own may take.
std::uint64_t FileBytesBelow(const std::filesystem::path& folder);

// Makes `toName` in `toFolder` with mode `mode` and carries into it everything
// `fromName` of `fromFolder` holds, links as links. False when any entry cannot
// be carried (a FIFO, a failed write): nothing an add-on holds is lost silently.
bool CarryFolder(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName, mode_t mode, Carrying carrying);

}  // namespace wendrake
