#include "support/TempInstallation.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace wendrake::testing {
namespace {

std::filesystem::path MakeTempRoot() {
  std::string pattern = (std::filesystem::temp_directory_path() / "wendrake-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  std::filesystem::create_directories(std::filesystem::path(pattern) / "bin");
  std::filesystem::create_directories(std::filesystem::path(pattern) / "Temp");
  return pattern;
}

std::string QuoteRegText(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

}  // namespace

TempInstallation::TempInstallation() : installation_(MakeTempRoot()) {}

TempInstallation::~TempInstallation() {
  std::error_code ignored;
  // A test may have left read-only folders behind.
  for (auto it = std::filesystem::recursive_directory_iterator(Root(), ignored); it != std::filesystem::recursive_directory_iterator();
       it.increment(ignored))
    if (!it->is_symlink()) std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(Root(), ignored);
}

std::filesystem::path TempInstallation::WriteFile(const std::filesystem::path& relative, std::string_view bytes) const {
  const auto path = Root() / relative;
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
  return path;
}

std::string TempInstallation::ReadFile(const std::filesystem::path& relative) const {
  std::ifstream in(Root() / relative, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void TempInstallation::WriteHive(const std::vector<std::pair<std::string, std::string>>& values) const {
  std::string text = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wendrake]\r\n";
  for (const auto& [name, value] : values) text += QuoteRegText(name) + "=" + QuoteRegText(value) + "\r\n";
  WriteFile("registry.reg", text);
}

void TempInstallation::WriteCatalog(const std::vector<std::string>& plugNames) const {
  std::string items;
  int pid = 0;
  for (const auto& name : plugNames) items += "        <item pid=\"" + std::to_string(++pid) + "\" ver=\"1.0\" PlugName=\"" + name + "\" />\r\n";
  WriteFile("update_info.xml",
            "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\r\n<Wendrake>\r\n    <plugin>\r\n" + items + "    </plugin>\r\n</Wendrake>\r\n");
}

std::filesystem::path TempInstallation::MakeGameFolder(const std::vector<std::pair<std::string, std::string>>& otherValues) const {
  const auto game = Root() / "game";
  std::filesystem::create_directories(game);
  auto values = otherValues;
  values.emplace_back("PluginPath", game.string() + "/");
  WriteHive(values);
  return game;
}

}  // namespace wendrake::testing
