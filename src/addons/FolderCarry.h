#pragma once
// Carrying a folder tree to another place without touching the original: each
// file hard-linked where the file system allows it (an add-on of thousands of
// files then costs only names), copied with its times where it does not.
#include <sys/types.h>

#include <string>
#include <vector>

namespace wendrake {

// Every name in the folder but "." and "..".
std::vector<std::string> ListFolder(int folderFd);

// Makes `toName` in `toFolder` with mode `mode` and carries into it everything
// `fromName` of `fromFolder` holds, links as links. False when any entry cannot
// be carried (a FIFO, a failed write): nothing an add-on holds is lost silently.
bool CarryFolder(int fromFolder, const std::string& fromName, int toFolder, const std::string& toName, mode_t mode);

}  // namespace wendrake
