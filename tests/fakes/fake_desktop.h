#pragma once

#include <map>
#include <string>
#include <vector>

#include "relay/messenger_window.h"
#include "relay/window_system.h"

namespace quorvanel::testing {

// An in-memory desktop: top-level windows in enumeration order, each with child controls in
// creation order. Records every message sent so tests can check the exact calls.
class FakeDesktop : public WindowSystem {
public:
    struct Sent {
        WindowHandle window;
        unsigned message;
        std::wstring text;
    };

    // handle 0 takes a fresh handle; another value reuses one, as Windows may after a close.
    WindowHandle AddWindow(const std::wstring& className, const std::wstring& title,
                           WindowHandle handle = 0) {
        const WindowHandle h = handle != 0 ? handle : nextHandle_++;
        windows_[h] = {className, title, {}};
        topLevel_.push_back(h);
        return h;
    }
    WindowHandle AddChild(WindowHandle parent, const std::wstring& className,
                          const std::wstring& text = {}) {
        const WindowHandle h = nextHandle_++;
        windows_[h] = {className, text, {}};
        windows_[parent].children.push_back(h);
        return h;
    }
    // A messenger conversation window: history, entry box (both RichEdit20A), Send button.
    WindowHandle AddConversation(const std::wstring& name, const std::wstring& history = {},
                                 WindowHandle handle = 0) {
        const WindowHandle w = AddWindow(kConversationWindowClass, name + L" - Conversation", handle);
        AddChild(w, L"RichEdit20A", history);
        AddChild(w, L"RichEdit20A");
        AddChild(w, L"Button", L"&Send");
        return w;
    }
    void Close(WindowHandle h) {
        std::erase(topLevel_, h);
        if (Window* w = Find(h)) {
            for (WindowHandle child : w->children) windows_.erase(child);
        }
        windows_.erase(h);
    }
    void SetText(WindowHandle h, const std::wstring& text) { windows_[h].text = text; }
    const std::wstring& Text(WindowHandle h) { return windows_[h].text; }
    WindowHandle Child(WindowHandle parent, std::size_t i) { return windows_[parent].children.at(i); }
    // A message from `name` added to a conversation window's history.
    void Say(WindowHandle window, const std::wstring& name, const std::wstring& text) {
        SetText(Child(window, 0), Text(Child(window, 0)) + name + L" says:\r\n  " + text + L"\r\n");
    }

    std::vector<Sent> sent;
    int wholeTextReads = 0;  // WM_GETTEXT calls whose buffer held the whole text

    // WindowSystem
    void EnumerateWindows(const std::function<bool(WindowHandle)>& visit) override {
        const std::vector<WindowHandle> order = topLevel_;
        for (WindowHandle h : order) {
            if (!visit(h)) return;
        }
    }
    std::wstring ReadClassName(WindowHandle window, int bufferChars) override {
        return Buffer(Find(window) ? Find(window)->className : L"", bufferChars);
    }
    std::wstring ReadWindowTitle(WindowHandle window, int bufferChars) override {
        return Buffer(Find(window) ? Find(window)->text : L"", bufferChars);
    }
    WindowHandle FindChild(WindowHandle parent, WindowHandle after,
                           const std::wstring& className) override {
        const Window* p = Find(parent);
        if (p == nullptr) return 0;
        bool past = after == 0;
        for (WindowHandle c : p->children) {
            if (past && windows_.at(c).className == className) return c;
            if (c == after) past = true;
        }
        return 0;
    }
    std::int64_t SendGetTextLength(WindowHandle window) override { return SendGetTextLengthW(window); }
    std::int64_t SendGetTextLengthW(WindowHandle window) override {
        const Window* w = Find(window);
        return w ? static_cast<std::int64_t>(w->text.size()) : 0;
    }
    std::wstring SendGetText(WindowHandle window, std::size_t bufferChars) override {
        if (onGetText) onGetText(window);
        const Window* w = Find(window);
        if (w != nullptr && bufferChars > w->text.size()) ++wholeTextReads;
        const std::wstring none;  // of the text's type, so that the text is not copied
        return Buffer(w ? w->text : none, static_cast<int>(bufferChars));
    }
    void SendSetText(WindowHandle window, const std::wstring& text) override {
        sent.push_back({window, 0x000C, text});
        if (Window* w = Find(window)) w->text = text;
    }
    void SendKeyMessage(WindowHandle window, unsigned message, unsigned) override {
        sent.push_back({window, message, {}});
    }

    // Runs inside WM_GETTEXT, before the text is copied: lets a test close windows mid-read.
    std::function<void(WindowHandle)> onGetText;

private:
    struct Window {
        std::wstring className;
        std::wstring text;
        std::vector<WindowHandle> children;
    };
    Window* Find(WindowHandle h) {
        auto it = windows_.find(h);
        return it == windows_.end() ? nullptr : &it->second;
    }
    // Like the A functions: the text truncated to the buffer, NUL-terminated, rest zeroed.
    static std::wstring Buffer(const std::wstring& text, int bufferChars) {
        if (bufferChars <= 0) return {};
        std::wstring buffer(static_cast<std::size_t>(bufferChars), L'\0');
        text.copy(buffer.data(), static_cast<std::size_t>(bufferChars) - 1);
        return buffer;
    }

    std::map<WindowHandle, Window> windows_;
    std::vector<WindowHandle> topLevel_;
    WindowHandle nextHandle_ = 0x10010;
};

}  // namespace quorvanel::testing
