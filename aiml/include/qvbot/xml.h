// The one way AIML files are read: bytes in, a small element tree out, whatever parser is under.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qvbot {

// An element (name set) or a run of character data (name empty, text set); text is UTF-8.
struct XmlNode {
    std::string name;
    std::string text;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlNode> children;
    int line = 0;

    bool IsText() const { return name.empty(); }
    // The attribute's value, or nullopt.
    std::optional<std::string> Attribute(std::string_view key) const;
};

struct XmlError {
    int line = 0;
    std::string what;
};

// Elements nest at most this deep; deeper documents are refused (they would only exhaust stacks).
constexpr int kMaxXmlDepth = 48;

// Parses a UTF-8 document whose declaration, if any, says UTF-8 (PrepareXml makes it so). Comments and
// processing instructions are dropped; entities and CDATA are resolved to text.
bool ParseXml(std::string_view utf8, XmlNode& root, XmlError& error);

// The element as XML text (UTF-8), which ParseXml reads back as it was.
std::string WriteXml(const XmlNode& node);

// Converts a file's bytes to UTF-8 as its XML declaration says (UTF-8 when it says nothing) and
// makes the declaration say so, keeping every line where it was. False with a reason for an
// encoding it cannot read.
bool PrepareXml(std::string_view bytes, std::string& utf8, XmlError& error);

}  // namespace qvbot
