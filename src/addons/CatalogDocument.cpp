#include "addons/CatalogDocument.h"

#include <string>

#include <pugixml.hpp>

#include "addons/CatalogWriter.h"
#include "platform/AtomicFile.h"

namespace wendrake {
namespace {

// Declaration, comments, doctype and processing instructions are kept so that a
// save writes them back.
constexpr unsigned kParseOptions = pugi::parse_default | pugi::parse_declaration | pugi::parse_comments | pugi::parse_doctype | pugi::parse_pi;

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// A pid is handed to the queries as an XPath variable, never pasted into the
// expression, so a pid holding a quote is only a value that matches nothing.
constexpr const char* kPidAttributeQuery = "//item[@pid=$pid]/@pid";
constexpr const char* kItemOfPidQuery = "//item[@pid=$pid]";
constexpr const char* kVersionOfPidQuery = "//item[@pid=$pid]/@ver";
constexpr const char* kContainerQuery = "//Wendrake/plugin[1]";
constexpr const char* kItemsQuery = "//Wendrake/plugin/item";
constexpr const char* kContainersQuery = "//Wendrake/plugin";

// An XML file cannot hold a NUL, and the query variables end at one.
bool HoldsNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

}  // namespace

CatalogDocument::CatalogDocument() : document_(std::make_unique<pugi::xml_document>()) {}
CatalogDocument::CatalogDocument(CatalogDocument&&) noexcept = default;
CatalogDocument& CatalogDocument::operator=(CatalogDocument&&) noexcept = default;
CatalogDocument::~CatalogDocument() = default;

std::optional<CatalogDocument> CatalogDocument::Load(const std::filesystem::path& file) {
  const std::optional<std::string> bytes = ReadWholeFile(file);
  if (!bytes) return std::nullopt;
  return Parse(*bytes);
}

std::optional<CatalogDocument> CatalogDocument::Parse(std::string_view bytes) {
  CatalogDocument catalog;
  catalog.byteOrderMark_ = bytes.starts_with(kByteOrderMark);
  // Bytes are taken as they are: no transcoding, whatever the declaration says.
  const pugi::xml_parse_result result = catalog.document_->load_buffer(bytes.data(), bytes.size(), kParseOptions, pugi::encoding_utf8);
  if (!result) return std::nullopt;
  // The parser lets a second top-level element through; a file must have one root.
  int roots = 0;
  for (const pugi::xml_node& node : catalog.document_->children()) roots += node.type() == pugi::node_element ? 1 : 0;
  if (roots != 1) return std::nullopt;
  return catalog;
}

namespace {

// The first node of the result in document order, evaluated with the root element
// as context node.
pugi::xpath_node FirstNode(const pugi::xml_document& document, const char* expression, pugi::xpath_variable_set* variables = nullptr) {
  const pugi::xpath_query query(expression, variables);
  if (query.return_type() != pugi::xpath_type_node_set) return {};
  return query.evaluate_node_set(pugi::xpath_node(document.document_element())).first();
}

pugi::xml_attribute FirstAttribute(const pugi::xml_document& document, const char* expression, pugi::xpath_variable_set* variables = nullptr) {
  return FirstNode(document, expression, variables).attribute();
}

pugi::xml_node FirstElement(const pugi::xml_document& document, const char* expression, pugi::xpath_variable_set* variables = nullptr) {
  const pugi::xml_node node = FirstNode(document, expression, variables).node();
  return node.type() == pugi::node_element ? node : pugi::xml_node();
}

std::optional<pugi::xpath_variable_set> PidVariable(std::string_view pid) {
  if (HoldsNul(pid)) return std::nullopt;
  pugi::xpath_variable_set variables;
  variables.set("pid", std::string(pid).c_str());
  return variables;
}

}  // namespace

struct CatalogDocument::Containers {
  std::vector<std::vector<pugi::xml_node>> items;  // per container, in document order
  int count = 0;

  // "//Wendrake/plugin/item[i]": the i-th item of the first container that has one.
  pugi::xml_node At(int index) const {
    for (const auto& container : items)
      if (index >= 1 && static_cast<size_t>(index) <= container.size()) return container[static_cast<size_t>(index) - 1];
    return {};
  }
};

const CatalogDocument::Containers& CatalogDocument::Items_() const {
  if (!containers_) {
    auto found = std::make_shared<Containers>();
    for (const pugi::xpath_node& container : document_->select_nodes(kContainersQuery)) {
      auto& items = found->items.emplace_back();
      for (const pugi::xml_node& item : container.node().children("item")) items.push_back(item);
      found->count += static_cast<int>(items.size());
    }
    containers_ = std::move(found);
  }
  return *containers_;
}

void CatalogDocument::Changed() { containers_.reset(); }

namespace {

std::optional<std::string> AttributeOf(const pugi::xml_node& item, const char* name) {
  const pugi::xml_attribute attribute = item.attribute(name);
  if (!attribute) return std::nullopt;
  return std::string(attribute.value());
}

}  // namespace

int CatalogDocument::ItemCount() const { return Items_().count; }

std::optional<std::string> CatalogDocument::ItemPid(int index) const { return AttributeOf(Items_().At(index), "pid"); }
std::optional<std::string> CatalogDocument::ItemVersion(int index) const { return AttributeOf(Items_().At(index), "ver"); }
std::optional<std::string> CatalogDocument::ItemFolderName(int index) const { return AttributeOf(Items_().At(index), "PlugName"); }

std::vector<CatalogItem> CatalogDocument::Items() const {
  std::vector<CatalogItem> items;
  auto attribute = [](const pugi::xml_node& node, const char* name) -> std::optional<std::string> {
    const pugi::xml_attribute found = node.attribute(name);
    if (!found) return std::nullopt;
    return std::string(found.value());
  };
  for (const pugi::xpath_node& item : document_->select_nodes(kItemsQuery))
    items.push_back({attribute(item.node(), "pid"), attribute(item.node(), "ver"), attribute(item.node(), "PlugName")});
  return items;
}

void CatalogDocument::RemoveItemsAt(const std::vector<int>& indices) {
  const pugi::xpath_node_set items = document_->select_nodes(kItemsQuery);
  pugi::xml_node container = FirstElement(*document_, kContainerQuery);
  for (const int index : indices)
    if (index >= 1 && static_cast<size_t>(index) <= items.size() && container) container.remove_child(items[static_cast<size_t>(index) - 1].node());
  Changed();
}

bool CatalogDocument::HasPid(std::string_view pid) const {
  auto variables = PidVariable(pid);
  return variables && FirstAttribute(*document_, kPidAttributeQuery, &*variables);
}

std::optional<std::string> CatalogDocument::VersionOf(std::string_view pid) const {
  auto variables = PidVariable(pid);
  if (!variables) return std::nullopt;
  const pugi::xml_attribute version = FirstAttribute(*document_, kVersionOfPidQuery, &*variables);
  if (!version) return std::nullopt;
  return std::string(version.value());
}

bool CatalogDocument::SetVersionOf(std::string_view pid, std::string_view version) {
  auto variables = PidVariable(pid);
  if (!variables || HoldsNul(version)) return false;
  pugi::xml_attribute attribute = FirstAttribute(*document_, kVersionOfPidQuery, &*variables);
  return attribute && attribute.set_value(version.data(), version.size());
}

bool CatalogDocument::RemoveItem(std::string_view pid) {
  auto variables = PidVariable(pid);
  if (!variables) return false;
  const pugi::xml_node item = FirstElement(*document_, kItemOfPidQuery, &*variables);
  pugi::xml_node container = FirstElement(*document_, kContainerQuery);
  // Only a child of the container is removed, as the container is what changes.
  const bool removed = item && container && container.remove_child(item);
  if (removed) Changed();
  return removed;
}

bool CatalogDocument::AppendItem(std::string_view pid, std::string_view version, std::string_view folderName) {
  if (HoldsNul(pid) || HoldsNul(version) || HoldsNul(folderName)) return false;
  pugi::xml_node container = FirstElement(*document_, kContainerQuery);
  if (!container) return false;
  pugi::xml_node item = container.append_child("item");
  Changed();
  return item && item.append_attribute("pid").set_value(pid.data(), pid.size()) &&
         item.append_attribute("ver").set_value(version.data(), version.size()) &&
         item.append_attribute("PlugName").set_value(folderName.data(), folderName.size());
}

std::string CatalogDocument::Serialize() const { return WriteCatalog(*document_, byteOrderMark_); }

bool CatalogDocument::Save(const std::filesystem::path& file) const { return ReplaceFileContent(file, Serialize()); }

}  // namespace wendrake
