#pragma once
// The catalogue's own text layout, so a saved file looks the same whichever tool
// wrote it before: four-space indentation, one element per line, CR LF line ends.
#include <string>

#include <pugixml.hpp>

namespace wendrake {

// The whole file's bytes; the UTF-8 byte-order mark first when asked for.
std::string WriteCatalog(const pugi::xml_document& document, bool byteOrderMark);

}  // namespace wendrake
