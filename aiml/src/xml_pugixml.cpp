// ParseXml on pugixml.
#include <pugixml.hpp>

#include <algorithm>
#include <vector>

#include "qvbot/xml.h"

namespace qvbot {
namespace {

// Line numbers of byte offsets, from the offsets of the line breaks.
class Lines {
  public:
    explicit Lines(std::string_view text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\n') breaks_.push_back(static_cast<std::ptrdiff_t>(i));
        }
    }
    int At(std::ptrdiff_t offset) const {
        return 1 + static_cast<int>(std::lower_bound(breaks_.begin(), breaks_.end(), offset) -
                                    breaks_.begin());
    }

  private:
    std::vector<std::ptrdiff_t> breaks_;
};

bool Convert(const pugi::xml_node& from, XmlNode& to, const Lines& text, int depth,
             XmlError& error) {
    to.name = from.name();
    to.line = text.At(from.offset_debug());
    if (depth > kMaxXmlDepth) {
        error = {to.line, "elements nest deeper than " + std::to_string(kMaxXmlDepth)};
        return false;
    }
    for (const pugi::xml_attribute& attribute : from.attributes()) {
        to.attributes.emplace_back(attribute.name(), attribute.value());
    }
    for (const pugi::xml_node& child : from.children()) {
        if (child.type() == pugi::node_element) {
            XmlNode node;
            if (!Convert(child, node, text, depth + 1, error)) return false;
            to.children.push_back(std::move(node));
        } else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            // Neighbouring runs (text, then CDATA) are one piece of text.
            if (!to.children.empty() && to.children.back().IsText()) {
                to.children.back().text += child.value();
            } else {
                XmlNode node;
                node.text = child.value();
                node.line = text.At(child.offset_debug());
                to.children.push_back(std::move(node));
            }
        }
    }
    return true;
}

}  // namespace

bool ParseXml(std::string_view utf8, XmlNode& root, XmlError& error) {
    pugi::xml_document document;
    const pugi::xml_parse_result result =
        document.load_buffer(utf8.data(), utf8.size(),
                             pugi::parse_default | pugi::parse_ws_pcdata, pugi::encoding_utf8);
    if (!result) {
        error = {Lines(utf8).At(result.offset),
                 std::string("not well-formed XML: ") + result.description()};
        return false;
    }
    const pugi::xml_node element = document.document_element();
    if (!element) {
        error = {1, "no root element"};
        return false;
    }
    root = {};
    return Convert(element, root, Lines(utf8), 1, error);
}

}  // namespace qvbot
