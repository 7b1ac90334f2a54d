#pragma once
// Tests run as root, and root writes through any permission bits. While one of
// these lives, the process keeps to the permission bits as an ordinary user does,
// so write-protected files and folders really are protected.
namespace wendrake::testing {

class WithoutFileOverride {
 public:
  WithoutFileOverride();
  ~WithoutFileOverride();
  WithoutFileOverride(const WithoutFileOverride&) = delete;
  WithoutFileOverride& operator=(const WithoutFileOverride&) = delete;

 private:
  unsigned saved_ = 0;
  bool changed_ = false;
};

}  // namespace wendrake::testing
