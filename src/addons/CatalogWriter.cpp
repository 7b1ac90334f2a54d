#include "addons/CatalogWriter.h"

#include <cstdio>
#include <string_view>

namespace wendrake {
namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kIndent = "    ";

void AppendEscaped(std::string& out, std::string_view text) {
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default:
        if (c >= 0x01 && c <= 0x1F) {
          char reference[8];
          std::snprintf(reference, sizeof reference, "&#x%02X;", static_cast<unsigned>(c));
          out += reference;
        } else {
          out.push_back(c);
        }
    }
  }
}

void AppendIndent(std::string& out, int depth) {
  for (int i = 0; i < depth; ++i) out += kIndent;
}

bool IsText(const pugi::xml_node& node) { return node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata; }

void AppendText(std::string& out, const pugi::xml_node& node) {
  if (node.type() == pugi::node_cdata) {
    out += "<![CDATA[";
    out += node.value();
    out += "]]>";
  } else {
    AppendEscaped(out, node.value());
  }
}

void AppendAttribute(std::string& out, const pugi::xml_attribute& attribute) {
  const std::string_view value = attribute.value();
  // The quote character is chosen on the raw value; the value is escaped either way.
  const char quote = value.find('"') == std::string_view::npos ? '"' : '\'';
  out += ' ';
  out += attribute.name();
  out += '=';
  out += quote;
  AppendEscaped(out, value);
  out += quote;
}

void AppendDeclaration(std::string& out, const pugi::xml_node& declaration) {
  // Rebuilt from its parts in a fixed order, whatever order the file had; escaped like
  // any attribute, as a quote or "?>" in a part would end it early on the next read.
  out += "<?xml";
  for (const char* part : {"version", "encoding", "standalone"})
    if (const pugi::xml_attribute attribute = declaration.attribute(part)) AppendAttribute(out, attribute);
  out += " ?>";
}

// Writes the node at its indentation, without the line end after it.
void AppendNode(std::string& out, const pugi::xml_node& node, int depth) {
  AppendIndent(out, depth);
  switch (node.type()) {
    case pugi::node_declaration: AppendDeclaration(out, node); return;
    case pugi::node_comment:
      out += "<!--";
      out += node.value();
      out += "-->";
      return;
    case pugi::node_pi:
      out += "<?";
      out += node.name();
      if (*node.value()) {
        out += ' ';
        out += node.value();
      }
      out += "?>";
      return;
    case pugi::node_doctype:
      out += "<!DOCTYPE ";
      out += node.value();
      out += '>';
      return;
    case pugi::node_pcdata:
    case pugi::node_cdata: AppendText(out, node); return;
    case pugi::node_element: break;
    default: return;
  }

  out += '<';
  out += node.name();
  for (const pugi::xml_attribute& attribute : node.attributes()) AppendAttribute(out, attribute);

  const pugi::xml_node first = node.first_child();
  if (!first) {
    out += " />";
    return;
  }
  if (first == node.last_child() && IsText(first)) {
    out += '>';
    AppendText(out, first);
  } else {
    // Mixed content gets its text on lines of its own like any other child.
    out += '>';
    for (const pugi::xml_node& child : node.children()) {
      out += kLineEnd;
      AppendNode(out, child, depth + 1);
    }
    out += kLineEnd;
    AppendIndent(out, depth);
  }
  out += "</";
  out += node.name();
  out += '>';
}

}  // namespace

std::string WriteCatalog(const pugi::xml_document& document, bool byteOrderMark) {
  std::string out;
  if (byteOrderMark) out += "\xEF\xBB\xBF";
  for (const pugi::xml_node& node : document.children()) {
    AppendNode(out, node, 0);
    out += kLineEnd;
  }
  return out;
}

}  // namespace wendrake
