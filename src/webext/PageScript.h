#pragma once
// The script run in every frame before any page script (page-bridge.js, kept in
// the extension's resources), and the names it shares with the extension.

namespace wendrake::webext {

inline constexpr char kPageScriptResource[] = "/com/lumifold/Wendrake/webext/page-bridge.js";
inline constexpr char kRefusalName[] = "WendrakeRefusal";

}  // namespace wendrake::webext
