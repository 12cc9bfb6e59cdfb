// ParseXml on Windows' own XmlLite. Its import library is not shipped with mingw-w64, so its one
// entry point is bound at run time.
#include <windows.h>
#include <shlwapi.h>
#include <xmllite.h>

#include <vector>

#include "xml.h"

namespace qvbot {
namespace {

using CreateXmlReaderFunction = HRESULT(WINAPI*)(REFIID, void**, IMalloc*);

CreateXmlReaderFunction CreateReader() {
    static const CreateXmlReaderFunction create = [] {
        HMODULE dll = LoadLibraryW(L"xmllite.dll");
        return dll ? reinterpret_cast<CreateXmlReaderFunction>(
                         reinterpret_cast<void*>(GetProcAddress(dll, "CreateXmlReader")))
                   : nullptr;
    }();
    return create;
}

std::string Utf8(const WCHAR* text, UINT length) {
    if (length == 0) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out.data(), size, nullptr,
                        nullptr);
    return out;
}

template <typename T>
struct Released {
    T* p = nullptr;
    ~Released() {
        if (p) p->Release();
    }
};

}  // namespace

bool ParseXml(std::string_view utf8, XmlNode& root, XmlError& error) {
    const CreateXmlReaderFunction create = CreateReader();
    if (!create) {
        error = {1, "this Windows has no XmlLite (xmllite.dll)"};
        return false;
    }
    Released<IXmlReader> reader;
    Released<IStream> stream;
    stream.p = SHCreateMemStream(reinterpret_cast<const BYTE*>(utf8.data()),
                                 static_cast<UINT>(utf8.size()));
    if (!stream.p || FAILED(create(__uuidof(IXmlReader), reinterpret_cast<void**>(&reader.p), nullptr)) ||
        FAILED(reader.p->SetProperty(XmlReaderProperty_DtdProcessing, DtdProcessing_Prohibit)) ||
        FAILED(reader.p->SetInput(stream.p))) {
        error = {1, "XmlLite could not be started"};
        return false;
    }
    std::vector<XmlNode> open;  // the elements not yet closed, outermost first
    bool have_root = false;
    XmlNodeType type;
    HRESULT result;
    const auto close = [&] {
        XmlNode node = std::move(open.back());
        open.pop_back();
        if (open.empty()) {
            root = std::move(node);
            have_root = true;
        } else {
            open.back().children.push_back(std::move(node));
        }
    };
    while ((result = reader.p->Read(&type)) == S_OK) {
        UINT line = 0;
        reader.p->GetLineNumber(&line);
        const WCHAR* text = nullptr;
        UINT length = 0;
        if (type == XmlNodeType_Element) {
            XmlNode node;
            reader.p->GetLocalName(&text, &length);
            node.name = Utf8(text, length);
            node.line = static_cast<int>(line);
            const bool empty = reader.p->IsEmptyElement();
            for (HRESULT a = reader.p->MoveToFirstAttribute(); a == S_OK;
                 a = reader.p->MoveToNextAttribute()) {
                const WCHAR* value = nullptr;
                UINT value_length = 0;
                reader.p->GetLocalName(&text, &length);
                reader.p->GetValue(&value, &value_length);
                node.attributes.emplace_back(Utf8(text, length), Utf8(value, value_length));
            }
            if (open.size() >= static_cast<std::size_t>(kMaxXmlDepth)) {
                error = {node.line, "elements nest deeper than " + std::to_string(kMaxXmlDepth)};
                return false;
            }
            open.push_back(std::move(node));
            if (empty) close();
        } else if (type == XmlNodeType_EndElement) {
            if (!open.empty()) close();
        } else if ((type == XmlNodeType_Text || type == XmlNodeType_CDATA ||
                    type == XmlNodeType_Whitespace) &&
                   !open.empty()) {
            reader.p->GetValue(&text, &length);
            auto& children = open.back().children;
            if (children.empty() || !children.back().IsText()) {
                children.emplace_back();
                children.back().line = static_cast<int>(line);
            }
            children.back().text += Utf8(text, length);
        }
    }
    if (FAILED(result)) {
        UINT line = 0;
        reader.p->GetLineNumber(&line);
        char code[16];
        wsprintfA(code, "%08lX", static_cast<unsigned long>(result));
        error = {static_cast<int>(line), std::string("not well-formed XML (XmlLite error ") +
                                             code + ")"};
        return false;
    }
    if (!have_root) {
        error = {1, "no root element"};
        return false;
    }
    return true;
}

}  // namespace qvbot
