#include "core/PageHost.h"

namespace wendrake {

void PageHost::ShowMsgBox(std::u16string_view code) const {
  holdingWindow_.RunPageDialog({installation_.ModuleRelative(u"..\\UI\\pages\\sc\\error.html").string(), 387, 197, std::u16string(code)});
}

}  // namespace wendrake
