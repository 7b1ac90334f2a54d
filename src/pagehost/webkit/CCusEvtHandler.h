#pragma once
// The click sink of a view: remembers the last clicked link whose address holds
// "http", for a page that then asks for a new window. The link walk itself runs in
// the page's process at the moment of the click; here only its finding is kept.
#include <string>

namespace wendrake {

class CCusEvtHandler {
 public:
  void OnDocumentClick(const std::u16string& address) {
    if (connected_) LastLink = address;
  }
  // Clicks count only between a document's completion and the next navigation.
  void Connect() { connected_ = true; }
  void Disconnect() { connected_ = false; }
  bool IsConnected() const { return connected_; }

  // Never cleared, also not by navigation.
  std::u16string LastLink;

 private:
  bool connected_ = false;
};

}  // namespace wendrake
