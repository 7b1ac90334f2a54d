#pragma once
// One parsed copy of a catalogue file (update_info.xml, or the reference catalogue
// update.xml, which has the same form). Items are addressed by 1-based index, as
// in "//Wendrake/plugin/item[i]", or by pid. Values are UTF-8 bytes as
// the file holds them.
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
}

namespace wendrake {

struct CatalogItem {
  std::optional<std::string> pid, version, folderName;
};

class CatalogDocument {
 public:
  // Nothing when the file is missing, unreadable, not well-formed or has no root
  // element.
  static std::optional<CatalogDocument> Load(const std::filesystem::path& file);
  static std::optional<CatalogDocument> Parse(std::string_view bytes);

  CatalogDocument(CatalogDocument&&) noexcept;
  CatalogDocument& operator=(CatalogDocument&&) noexcept;
  ~CatalogDocument();

  // count(//Wendrake/plugin/item)
  int ItemCount() const;
  // Attributes of the item at `index` (1-based); nothing when there is no such
  // item or it lacks the attribute.
  std::optional<std::string> ItemPid(int index) const;
  std::optional<std::string> ItemVersion(int index) const;
  std::optional<std::string> ItemFolderName(int index) const;

  // Every item, in document order: item i is Items()[i - 1].
  std::vector<CatalogItem> Items() const;
  // Removes the items at these 1-based indices that stand in the first `plugin`
  // container.
  void RemoveItemsAt(const std::vector<int>& indices);

  bool HasPid(std::string_view pid) const;
  // The `ver` of the first item carrying one among the items of that pid.
  std::optional<std::string> VersionOf(std::string_view pid) const;
  // Replaces that `ver` value in place; false when there is none.
  bool SetVersionOf(std::string_view pid, std::string_view version);
  // Removes the first item of that pid from the first `plugin` container; false
  // when none was removed (none listed, or it sits elsewhere).
  bool RemoveItem(std::string_view pid);
  // Appends <item pid ver PlugName /> to the first `plugin` container; false when
  // the root has none.
  bool AppendItem(std::string_view pid, std::string_view version, std::string_view folderName);

  bool HadByteOrderMark() const { return byteOrderMark_; }
  // The file's bytes in the catalogue layout.
  std::string Serialize() const;
  // Atomic replacement; false (file untouched) when it cannot be written.
  bool Save(const std::filesystem::path& file) const;

 private:
  CatalogDocument();
  // The items of each "//Wendrake/plugin" in document order, found once and again
  // after each change: a pass over the items then costs no query per item.
  struct Containers;
  const Containers& Items_() const;
  void Changed();

  std::unique_ptr<pugi::xml_document> document_;
  mutable std::shared_ptr<Containers> containers_;
  bool byteOrderMark_ = false;
};

}  // namespace wendrake
