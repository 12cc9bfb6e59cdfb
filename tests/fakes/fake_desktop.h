#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "relay/messenger_window.h"
#include "relay/window_system.h"

namespace quorvanel::testing {

// An in-memory desktop: windows in creation order, top-level ones (parent 0) enumerated in that
// order, a window's children found in it too. Records every message sent so tests can check the
// exact calls.
class FakeDesktop : public WindowSystem {
public:
    struct Sent {
        WindowHandle window;
        unsigned message;
        std::wstring text;
    };
    std::vector<Sent> sent;
    int wholeTextReads = 0;  // WM_GETTEXT calls whose buffer held the whole text

    // handle 0 takes a fresh handle; another value reuses one, as Windows may after a close.
    WindowHandle AddWindow(const std::wstring& className, const std::wstring& text,
                           WindowHandle handle = 0, WindowHandle parent = 0) {
        windows_.push_back({handle != 0 ? handle : nextHandle_++, parent, className, text});
        return windows_.back().handle;
    }
    // A messenger conversation window: history, entry box (both RichEdit20A), Send button.
    WindowHandle AddConversation(const std::wstring& name, const std::wstring& history = {},
                                 WindowHandle handle = 0) {
        const WindowHandle w = AddWindow(kConversationWindowClass, name + L" - Conversation", handle);
        AddWindow(L"RichEdit20A", history, 0, w);
        AddWindow(L"RichEdit20A", {}, 0, w);
        AddWindow(L"Button", L"&Send", 0, w);
        return w;
    }
    void Close(WindowHandle h) {
        std::erase_if(windows_, [h](const Window& w) { return w.handle == h || w.parent == h; });
    }
    void SetText(WindowHandle h, const std::wstring& text) { Find(h)->text = text; }
    const std::wstring& Text(WindowHandle h) { return Find(h)->text; }
    WindowHandle Child(WindowHandle parent, std::size_t i) { return Children(parent).at(i); }
    // A message from `name` added to a conversation window's history.
    void Say(WindowHandle window, const std::wstring& name, const std::wstring& text) {
        SetText(Child(window, 0), Text(Child(window, 0)) + name + L" says:\r\n  " + text + L"\r\n");
    }

    // WindowSystem
    void EnumerateWindows(const std::function<bool(WindowHandle)>& visit) override {
        for (WindowHandle h : Children(0)) {
            if (!visit(h)) return;
        }
    }
    std::wstring ReadClassName(WindowHandle window, int bufferChars) override {
        return Buffer(Find(window) ? Find(window)->className : L"", bufferChars);
    }
    std::wstring ReadWindowTitle(WindowHandle window, int bufferChars) override {
        return Buffer(Find(window) ? Find(window)->text : L"", bufferChars);
    }
    WindowHandle FindChild(WindowHandle parent, WindowHandle after, const std::wstring& className) override {
        bool past = after == 0;
        for (WindowHandle c : Children(parent)) {
            if (past && Find(c)->className == className) return c;
            if (c == after) past = true;
        }
        return 0;
    }
    // Top-level windows whose program does not answer: messages to them and their children fail.
    std::vector<WindowHandle> hung;

    std::int64_t SendGetTextLength(WindowHandle window) override { return SendGetTextLengthW(window); }
    std::int64_t SendGetTextLengthW(WindowHandle window) override {
        Answering(window);
        return Find(window) ? static_cast<std::int64_t>(Find(window)->text.size()) : 0;
    }
    std::wstring SendGetText(WindowHandle window, std::size_t bufferChars) override {
        Answering(window);
        const std::wstring text = Find(window) ? Find(window)->text : L"";
        if (Find(window) && bufferChars > text.size()) ++wholeTextReads;
        return Buffer(text, static_cast<int>(bufferChars));
    }
    void SendSetText(WindowHandle window, const std::wstring& text) override {
        Answering(window);
        sent.push_back({window, 0x000C, text});
        if (Window* w = Find(window)) w->text = text;
    }
    void SendKeyMessage(WindowHandle window, unsigned message, unsigned) override {
        Answering(window);
        sent.push_back({window, message, {}});
    }

private:
    void Answering(WindowHandle window) {
        const Window* w = Find(window);
        const WindowHandle top = w && w->parent != 0 ? w->parent : window;
        if (std::find(hung.begin(), hung.end(), top) != hung.end()) throw WindowNotAnswering();
    }
    struct Window {
        WindowHandle handle, parent;
        std::wstring className, text;
    };
    Window* Find(WindowHandle h) {
        auto it = std::find_if(windows_.begin(), windows_.end(), [h](const Window& w) { return w.handle == h; });
        return it == windows_.end() ? nullptr : &*it;
    }
    std::vector<WindowHandle> Children(WindowHandle parent) const {
        std::vector<WindowHandle> children;
        for (const Window& w : windows_) {
            if (w.parent == parent) children.push_back(w.handle);
        }
        return children;
    }
    // Like the A functions: the text truncated to the buffer, NUL-terminated, rest zeroed.
    static std::wstring Buffer(const std::wstring& text, int bufferChars) {
        if (bufferChars <= 0) return {};
        std::wstring buffer(static_cast<std::size_t>(bufferChars), L'\0');
        text.copy(buffer.data(), static_cast<std::size_t>(bufferChars) - 1);
        return buffer;
    }

    std::vector<Window> windows_;
    WindowHandle nextHandle_ = 0x10010;
};

}  // namespace quorvanel::testing
