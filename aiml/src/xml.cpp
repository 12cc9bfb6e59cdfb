#include "qvbot/xml.h"

#include "qvbot/text.h"

namespace qvbot {

std::optional<std::string> XmlNode::Attribute(std::string_view key) const {
    for (const auto& [name, value] : attributes) {
        if (name == key) return value;
    }
    return {};
}

namespace {

void Escape(std::string& out, std::string_view text, bool attribute) {
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            default:
                out += c;
        }
    }
}

void Write(std::string& out, const XmlNode& node) {
    if (node.IsText()) return Escape(out, node.text, false);
    out += '<' + node.name;
    for (const auto& [key, value] : node.attributes) {
        out += ' ' + key + "=\"";
        Escape(out, value, true);
        out += '"';
    }
    if (node.children.empty()) {
        out += "/>";
        return;
    }
    out += '>';
    for (const XmlNode& child : node.children) Write(out, child);
    out += "</" + node.name + '>';
}

}  // namespace

std::string WriteXml(const XmlNode& node) {
    std::string out;
    Write(out, node);
    return out;
}

bool PrepareXml(std::string_view bytes, std::string& utf8, XmlError& error) {
    if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
    if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
        error = {1, "UTF-16 files are not supported; save the file as UTF-8"};
        return false;
    }
    std::string encoding = "UTF-8";
    std::size_t declaration_end = 0;
    if (bytes.starts_with("<?xml")) {
        declaration_end = bytes.find("?>");
        if (declaration_end == std::string_view::npos) {
            error = {1, "unterminated XML declaration"};
            return false;
        }
        declaration_end += 2;
        const std::string_view declaration = bytes.substr(0, declaration_end);
        const std::size_t key = declaration.find("encoding");
        if (key != std::string_view::npos) {
            const std::size_t quote = declaration.find_first_of("\"'", key);
            const std::size_t close = quote == std::string_view::npos
                                          ? std::string_view::npos
                                          : declaration.find(declaration[quote], quote + 1);
            if (close == std::string_view::npos) {
                error = {1, "malformed encoding in the XML declaration"};
                return false;
            }
            encoding = Upper(declaration.substr(quote + 1, close - quote - 1));
        }
    }
    const std::string_view body = bytes.substr(declaration_end);
    std::string converted;
    if (encoding == "UTF-8" || encoding == "UTF8" || encoding == "US-ASCII" || encoding == "ASCII") {
        converted = body;
    } else if (encoding == "ISO-8859-1" || encoding == "LATIN1" || encoding == "ISO_8859-1" ||
               encoding == "LATIN-1") {
        converted = Latin1ToUtf8(body);
    } else if (encoding == "WINDOWS-1252" || encoding == "CP1252") {
        converted = Windows1252ToUtf8(body);
    } else {
        error = {1, "unsupported encoding \"" + encoding + "\"; use UTF-8 or ISO-8859-1"};
        return false;
    }
    // The declaration now says UTF-8; its own line breaks stay, so later line numbers still
    // match the file.
    utf8 = declaration_end ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" : "";
    for (const char c : bytes.substr(0, declaration_end)) {
        if (c == '\n') utf8 += '\n';
    }
    utf8 += converted;
    return true;
}

}  // namespace qvbot
