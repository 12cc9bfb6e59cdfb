// test-messenger: stand-in for an instant messenger's conversation windows.
//
// Commands arrive as lines on stdin (read by a worker thread); every command
// gets exactly one reply line on stdout so a test can wait for it. The
// windows mimic the messenger closely enough for the program under test to
// find them: class "IMWindowClass", title "<name> - Conversation", children
// history rich edit, entry rich edit, "Send" button, in that order.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif

#include <windows.h>
#include <commctrl.h>
#include <richedit.h>

#include <algorithm>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "platform/threads.h"
#include <cstdlib>
#include <sstream>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "text_util.h"

namespace {

constexpr char kWindowClass[] = "IMWindowClass";
constexpr char kControlClass[] = "TestMessengerControl";

constexpr UINT kMsgLinesReady = WM_APP + 1;

constexpr int kIdHistory = 1001;
constexpr int kIdEntry = 1002;
constexpr int kIdSend = 1003;
constexpr int kIdContactEdit = 1004;
constexpr int kIdContactSays = 1005;

// Rich edits default to 32K of text; histories of a megabyte or more must fit.
constexpr LPARAM kRichEditLimit = 64 * 1024 * 1024;
// A single command line larger than this is refused rather than buffered.
constexpr std::size_t kMaxLineBytes = 16 * 1024 * 1024;
constexpr unsigned kMaxFillKb = 60 * 1024;

enum class Variant { Normal, Wide, NoEntry, NoButton, NoRichEdit };

// Lines read from stdin, handed from the reader thread to the UI thread.
// Shared ownership so the reader may outlive the application object at exit.
struct LineQueue {
    struct Line {
        std::string text;
        bool overlong = false;
    };

    quorvanel::Mutex mutex;
    std::deque<Line> lines;
    bool wakePending = false;
    bool eof = false;
    HWND target = nullptr;

    // Only one wake message is outstanding at a time, so a fast producer can
    // never exhaust the thread's posted-message quota.
    void push(Line line) {
        bool post = false;
        {
            std::lock_guard lock(mutex);
            lines.push_back(std::move(line));
            if (!wakePending) {
                wakePending = true;
                post = true;
            }
        }
        if (post) {
            PostMessageA(target, kMsgLinesReady, 0, 0);
        }
    }

    // Takes one line; re-arms the wake message when more are waiting so the
    // UI thread keeps servicing other (e.g. cross-process) messages between
    // commands.
    bool pop(Line& out) {
        bool post = false;
        bool got = false;
        {
            std::lock_guard lock(mutex);
            wakePending = false;
            if (!lines.empty()) {
                out = std::move(lines.front());
                lines.pop_front();
                got = true;
            }
            if (!lines.empty()) {
                wakePending = true;
                post = true;
            }
        }
        if (post) {
            PostMessageA(target, kMsgLinesReady, 0, 0);
        }
        return got;
    }
};

struct ButtonState {
    bool spaceDown = false;
    unsigned clicks = 0;
};

class App;

struct Conversation {
    App* app = nullptr;
    std::string id;
    std::string name;   // the other party, ANSI
    std::string ownName = "Me";
    bool wide = false;  // rich edits are RichEdit20W
    bool rich = true;   // false: plain EDIT controls stand in
    HWND hwnd = nullptr;
    HWND history = nullptr;
    HWND entry = nullptr;
    HWND send = nullptr;
    HWND contactEdit = nullptr;
    HWND contactSays = nullptr;
    ButtonState sendState;
    ButtonState contactState;
    unsigned looks = 0;  // times another program asked the history's length
    bool echo = false;   // the other party answers every sent line at once, as a machine would
};

// ---------------------------------------------------------------------------
// Text helpers bound to controls

std::wstring readWide(HWND h) {
    int len = GetWindowTextLengthW(h);
    std::wstring buf;
    // Rich edits may report a length that differs from what WM_GETTEXT
    // delivers (CR vs CR LF), so grow until the text clearly fits.
    std::size_t size = static_cast<std::size_t>(std::max(len, 0)) * 2 + 64;
    for (;;) {
        buf.assign(size, L'\0');
        int got = GetWindowTextW(h, buf.data(), static_cast<int>(size));
        if (got < 0) got = 0;
        if (static_cast<std::size_t>(got) + 1 < size) {
            buf.resize(static_cast<std::size_t>(got));
            return buf;
        }
        size *= 2;
    }
}

std::string readAnsi(HWND h) {
    int len = GetWindowTextLengthA(h);
    std::string buf;
    std::size_t size = static_cast<std::size_t>(std::max(len, 0)) * 2 + 64;
    for (;;) {
        buf.assign(size, '\0');
        int got = GetWindowTextA(h, buf.data(), static_cast<int>(size));
        if (got < 0) got = 0;
        if (static_cast<std::size_t>(got) + 1 < size) {
            buf.resize(static_cast<std::size_t>(got));
            return buf;
        }
        size *= 2;
    }
}

// Text of a control as ANSI bytes, read the way the control natively speaks.
std::string readControlAnsi(const Conversation& c, HWND h) {
    if (c.wide && h != c.contactEdit) {
        return textutil::toAnsi(readWide(h));
    }
    return readAnsi(h);
}

void moveCaretToEnd(const Conversation& c) {
    if (c.rich) {
        SendMessageA(c.history, EM_SETSEL, static_cast<WPARAM>(-1), -1);
    } else {
        // A plain edit treats -1 as "deselect", not "end".
        int len = GetWindowTextLengthA(c.history);
        SendMessageA(c.history, EM_SETSEL, static_cast<WPARAM>(len), len);
    }
}

void appendAnsi(const Conversation& c, const std::string& text) {
    if (!c.history || text.empty()) return;
    moveCaretToEnd(c);
    if (c.wide) {
        std::wstring w = textutil::fromAnsi(text);
        SendMessageW(c.history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(w.c_str()));
    } else {
        SendMessageA(c.history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageA(c.history, EM_SCROLLCARET, 0, 0);
}

void appendWide(const Conversation& c, const std::wstring& text) {
    if (!c.history || text.empty()) return;
    moveCaretToEnd(c);
    if (c.wide) {
        SendMessageW(c.history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text.c_str()));
    } else {
        std::string a = textutil::toAnsi(text);
        SendMessageA(c.history, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(a.c_str()));
    }
    SendMessageA(c.history, EM_SCROLLCARET, 0, 0);
}

void setTitle(const Conversation& c) {
    std::string title = c.name + " - Conversation";
    SetWindowTextA(c.hwnd, title.c_str());
}

// Typed text ("Bob says:" + indented lines) from a control's contents; returns the text.
std::wstring postTypedText(const Conversation& c, HWND source, const std::string& speaker) {
    if (!source) return {};
    std::wstring text = readWide(source);
    if (text.empty()) return {};
    std::wstring msg = textutil::formatMessage(textutil::fromAnsi(speaker),
                                               textutil::splitLines(text));
    appendWide(c, msg);
    SetWindowTextW(source, L"");
    return text;
}

// ---------------------------------------------------------------------------
// Layout

void layout(const Conversation& c) {
    RECT rc;
    GetClientRect(c.hwnd, &rc);
    const int m = 6, gap = 4, rowH = 24, entryH = 64;
    const int w = rc.right - rc.left, h = rc.bottom - rc.top;
    int bottom = h - m;

    if (c.contactEdit) {
        const int btnW = 100;
        int y = bottom - rowH;
        MoveWindow(c.contactEdit, m, y, std::max(w - 2 * m - gap - btnW, 10), rowH, TRUE);
        if (c.contactSays) MoveWindow(c.contactSays, w - m - btnW, y, btnW, rowH, TRUE);
        bottom = y - gap;
    }
    if (c.entry || c.send) {
        const int btnW = 80;
        int y = bottom - (c.entry ? entryH : 28);
        if (c.entry) {
            int ew = c.send ? w - 2 * m - gap - btnW : w - 2 * m;
            MoveWindow(c.entry, m, y, std::max(ew, 10), entryH, TRUE);
        }
        if (c.send) MoveWindow(c.send, w - m - btnW, y, btnW, c.entry ? entryH : 28, TRUE);
        bottom = y - gap;
    }
    if (c.history) MoveWindow(c.history, m, m, std::max(w - 2 * m, 10), std::max(bottom - m, 10), TRUE);
}

// ---------------------------------------------------------------------------
// Buttons: a cross-process WM_KEYDOWN/WM_KEYUP VK_SPACE pair must click the
// button even when it has no focus/capture (the stock handling may drop the
// click then), so the key-up is checked and the click completed if needed.

LRESULT CALLBACK buttonSubclassProc(HWND b, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    auto* st = reinterpret_cast<ButtonState*>(ref);
    switch (msg) {
    case WM_KEYDOWN:
        if (wp == VK_SPACE) st->spaceDown = true;
        break;
    case WM_KEYUP:
        if (wp == VK_SPACE) {
            bool armed = st->spaceDown;
            st->spaceDown = false;
            unsigned before = st->clicks;
            LRESULT r = DefSubclassProc(b, msg, wp, lp);
            if (armed && st->clicks == before && IsWindow(b)) {
                SendMessageA(b, BM_SETSTATE, FALSE, 0);
                if (GetCapture() == b) ReleaseCapture();
                SendMessageA(GetParent(b), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(b), BN_CLICKED),
                             reinterpret_cast<LPARAM>(b));
            }
            return r;
        }
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(b, buttonSubclassProc, 0);
        break;
    default:
        break;
    }
    return DefSubclassProc(b, msg, wp, lp);
}

// A program watching a history asks its length from outside, at every one of its ticks: tests
// count these looks to wait for the watcher's ticks rather than for a time.
LRESULT CALLBACK historySubclassProc(HWND h, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR,
                                     DWORD_PTR ref) {
    if (msg == WM_GETTEXTLENGTH && InSendMessage()) ++*reinterpret_cast<unsigned*>(ref);
    if (msg == WM_NCDESTROY) RemoveWindowSubclass(h, historySubclassProc, 0);
    return DefSubclassProc(h, msg, wp, lp);
}

// ---------------------------------------------------------------------------

class App {
public:
    explicit App(HINSTANCE inst) : inst_(inst), queue_(std::make_shared<LineQueue>()) {}
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    bool init();
    void startReader();
    void onLinesReady();
    void removeConversation(Conversation* c);
    const std::shared_ptr<LineQueue>& queue() const { return queue_; }

private:
    std::string handle(const std::string& line);
    std::string cmdOpen(Variant v, const std::string& id, const std::string& name);
    Conversation* find(const std::string& id);
    void reply(const std::string& text);
    HWND createChild(Conversation& c, bool wideClass, const char* cls, const wchar_t* wcls,
                     const char* caption, DWORD style, DWORD exStyle, int id);

    HINSTANCE inst_;
    std::shared_ptr<LineQueue> queue_;
    HWND control_ = nullptr;
    HFONT font_ = nullptr;
    std::vector<std::unique_ptr<Conversation>> convs_;
    unsigned opened_ = 0;
    bool quitting_ = false;
};

LRESULT CALLBACK conversationProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    auto* c = reinterpret_cast<Conversation*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!c) return DefWindowProcA(hwnd, msg, wp, lp);

    switch (msg) {
    case WM_SIZE:
        layout(*c);
        return 0;
    case WM_GETMINMAXINFO: {
        auto* mmi = reinterpret_cast<MINMAXINFO*>(lp);
        mmi->ptMinTrackSize.x = 280;
        mmi->ptMinTrackSize.y = 220;
        return 0;
    }
    case WM_SETFOCUS:
        if (c->entry) SetFocus(c->entry);
        return 0;
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED) {
            switch (LOWORD(wp)) {
            case kIdSend:
                ++c->sendState.clicks;
                if (std::wstring sent = postTypedText(*c, c->entry, c->ownName); c->echo && !sent.empty()) {
                    // Without the sender's own-line mark, or another copy would not answer it.
                    while (!sent.empty() && (sent.back() == L'\u00A0' || sent.back() == L'\0')) sent.pop_back();
                    appendWide(*c, textutil::formatMessage(textutil::fromAnsi(c->name),
                                                           textutil::splitLines(L"You said: " + sent)));
                }
                return 0;
            case kIdContactSays:
                ++c->contactState.clicks;
                postTypedText(*c, c->contactEdit, c->name);
                return 0;
            default:
                break;
            }
        }
        break;
    case WM_NCDESTROY: {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        App* app = c->app;
        app->removeConversation(c);  // frees c
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    default:
        break;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

LRESULT CALLBACK controlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
    auto* app = reinterpret_cast<App*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (app && msg == kMsgLinesReady) {
        app->onLinesReady();
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

DWORD WINAPI readerThread(LPVOID param) {
    // Own reference: the queue stays valid even if WinMain returns first.
    auto* holder = static_cast<std::shared_ptr<LineQueue>*>(param);
    std::shared_ptr<LineQueue> q = std::move(*holder);
    delete holder;

    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    bool overlong = false;
    char buf[65536];
    for (;;) {
        DWORD got = 0;
        if (in == nullptr || in == INVALID_HANDLE_VALUE ||
            !ReadFile(in, buf, sizeof buf, &got, nullptr) || got == 0) {
            break;
        }
        std::string_view chunk(buf, got);
        while (!chunk.empty()) {
            std::size_t nl = chunk.find('\n');
            std::string_view part = chunk.substr(0, nl);
            if (!overlong) {
                if (pending.size() + part.size() > kMaxLineBytes) {
                    overlong = true;
                    pending.clear();
                    pending.shrink_to_fit();
                } else {
                    pending.append(part);
                }
            }
            if (nl == std::string_view::npos) break;
            chunk.remove_prefix(nl + 1);
            if (!pending.empty() && pending.back() == '\r') pending.pop_back();
            q->push({std::move(pending), overlong});
            pending.clear();
            overlong = false;
        }
    }
    if (!pending.empty() || overlong) {
        if (!pending.empty() && pending.back() == '\r') pending.pop_back();
        q->push({std::move(pending), overlong});
    }
    std::lock_guard lock(q->mutex);
    q->eof = true;
    return 0;
}

App::~App() {
    // Windows still open outlive this object until process exit; make sure
    // no late message reaches a freed conversation.
    for (auto& c : convs_) {
        if (c->history) RemoveWindowSubclass(c->history, historySubclassProc, 0);
        if (c->send) RemoveWindowSubclass(c->send, buttonSubclassProc, 0);
        if (c->contactSays) RemoveWindowSubclass(c->contactSays, buttonSubclassProc, 0);
        SetWindowLongPtrA(c->hwnd, GWLP_USERDATA, 0);
    }
    if (control_) SetWindowLongPtrA(control_, GWLP_USERDATA, 0);
}

bool App::init() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    if (!LoadLibraryA("Riched20.dll")) return false;
    font_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));

    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = conversationProc;
    wc.hInstance = inst_;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kWindowClass;
    if (!RegisterClassExA(&wc)) return false;

    WNDCLASSEXA cc{};
    cc.cbSize = sizeof cc;
    cc.lpfnWndProc = controlProc;
    cc.hInstance = inst_;
    cc.lpszClassName = kControlClass;
    if (!RegisterClassExA(&cc)) return false;

    control_ = CreateWindowExA(0, kControlClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, inst_, this);
    if (!control_) return false;
    queue_->target = control_;
    return true;
}

void App::startReader() {
    auto* holder = new std::shared_ptr<LineQueue>(queue_);
    HANDLE t = CreateThread(nullptr, 0, readerThread, holder, 0, nullptr);
    if (t) {
        CloseHandle(t);
    } else {
        delete holder;
    }
}

void App::onLinesReady() {
    LineQueue::Line line;
    if (quitting_ || !queue_->pop(line)) return;
    if (line.overlong) {
        reply("error line too long");
        return;
    }
    // Blank lines are not commands and get no reply.
    if (line.text.find_first_not_of(" \t") == std::string::npos) return;
    std::string r = handle(line.text);
    if (!r.empty()) reply(r);  // "quit" replies itself before tearing down
}

void App::reply(const std::string& text) {
    std::string out = text;
    out += '\n';
    HANDLE h = GetStdHandle(STD_OUTPUT_HANDLE);
    const char* p = out.data();
    std::size_t left = out.size();
    while (left > 0) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 20));
        if (!WriteFile(h, p, chunk, &written, nullptr) || written == 0) return;
        p += written;
        left -= written;
    }
    FlushFileBuffers(h);
}

Conversation* App::find(const std::string& id) {
    for (auto& c : convs_) {
        if (c->id == id) return c.get();
    }
    return nullptr;
}

void App::removeConversation(Conversation* c) {
    convs_.erase(std::remove_if(convs_.begin(), convs_.end(),
                                [c](const std::unique_ptr<Conversation>& p) { return p.get() == c; }),
                 convs_.end());
}

HWND App::createChild(Conversation& c, bool wideClass, const char* cls, const wchar_t* wcls,
                      const char* caption, DWORD style, DWORD exStyle, int id) {
    HWND h;
    HMENU menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
    if (wideClass) {
        std::wstring cap = textutil::fromAnsi(caption);
        h = CreateWindowExW(exStyle, wcls, cap.c_str(), style | WS_CHILD | WS_VISIBLE, 0, 0, 10, 10,
                            c.hwnd, menu, inst_, nullptr);
    } else {
        h = CreateWindowExA(exStyle, cls, caption, style | WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, c.hwnd,
                            menu, inst_, nullptr);
    }
    if (h) SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    return h;
}

std::string App::cmdOpen(Variant v, const std::string& id, const std::string& name) {
    if (find(id)) return "error id already open: " + id;

    auto conv = std::make_unique<Conversation>();
    Conversation& c = *conv;
    c.app = this;
    c.id = id;
    c.name = name;
    c.wide = v == Variant::Wide;
    c.rich = v != Variant::NoRichEdit;

    // Cascaded down the left of the screen, clear of a program centred beside them.
    const int step = 30;
    int n = static_cast<int>(opened_++ % 10);
    std::string title = name + " - Conversation";
    c.hwnd = CreateWindowExA(0, kWindowClass, title.c_str(), WS_OVERLAPPEDWINDOW, 4 + n * step,
                             4 + n * step, 340, 330, nullptr, nullptr, inst_, &c);
    if (!c.hwnd) return "error CreateWindowEx failed";
    // From here the window's WM_NCDESTROY removes the entry from convs_.
    convs_.push_back(std::move(conv));

    const DWORD historyStyle = WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL;
    const DWORD entryStyle = WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
    const char* richA = c.rich ? "RichEdit20A" : "EDIT";

    // Child order matters: the program under test walks children with
    // FindWindowEx(parent, after, class, NULL).
    c.history = createChild(c, c.wide, richA, L"RichEdit20W", "", historyStyle, WS_EX_CLIENTEDGE, kIdHistory);
    if (v != Variant::NoEntry) {
        c.entry = createChild(c, c.wide, richA, L"RichEdit20W", "", entryStyle, WS_EX_CLIENTEDGE, kIdEntry);
    }
    if (v != Variant::NoButton) {
        c.send = createChild(c, false, "Button", nullptr, "&Send", WS_TABSTOP | BS_PUSHBUTTON, 0, kIdSend);
        c.contactEdit = createChild(c, false, "EDIT", nullptr, "", WS_TABSTOP | ES_AUTOHSCROLL,
                                    WS_EX_CLIENTEDGE, kIdContactEdit);
        c.contactSays = createChild(c, false, "Button", nullptr, "Contact says", WS_TABSTOP | BS_PUSHBUTTON,
                                    0, kIdContactSays);
    }
    if (!c.history || (v != Variant::NoEntry && !c.entry) ||
        (v != Variant::NoButton && (!c.send || !c.contactEdit || !c.contactSays))) {
        DestroyWindow(c.hwnd);
        return "error creating child controls failed";
    }

    for (HWND h : {c.history, c.entry}) {
        if (!h) continue;
        if (c.rich) {
            SendMessageA(h, EM_EXLIMITTEXT, 0, kRichEditLimit);
        } else {
            SendMessageA(h, EM_SETLIMITTEXT, 0, 0);  // 0: as large as the control allows
        }
    }
    SetWindowSubclass(c.history, historySubclassProc, 0, reinterpret_cast<DWORD_PTR>(&c.looks));
    if (c.send) SetWindowSubclass(c.send, buttonSubclassProc, 0, reinterpret_cast<DWORD_PTR>(&c.sendState));
    if (c.contactSays) {
        SetWindowSubclass(c.contactSays, buttonSubclassProc, 0, reinterpret_cast<DWORD_PTR>(&c.contactState));
    }

    layout(c);
    ShowWindow(c.hwnd, SW_SHOWNORMAL);
    UpdateWindow(c.hwnd);
    return "ok " + std::to_string(static_cast<int>(reinterpret_cast<LONG_PTR>(c.hwnd)));
}

std::string App::handle(const std::string& line) {
    // "<cmd> <id> <arg...>": single spaces separate, the argument keeps the rest.
    std::size_t sp = line.find(' ');
    std::string cmd = line.substr(0, sp);
    std::string rest = sp == std::string::npos ? std::string() : line.substr(sp + 1);
    bool hasRest = sp != std::string::npos;

    if (cmd == "quit") {
        // Windows go away with the process. Destroying them one by one first
        // costs seconds each under Wine on a bare X server (it waits for a
        // window manager that never answers).
        reply("ok");
        quitting_ = true;
        PostQuitMessage(0);
        return {};
    }
    if (cmd == "hang") {
        // "hang <seconds>": the window thread stops answering, as a hung program's does (it
        // replies first, so that a script knows when the hang begins).
        const int seconds = std::atoi(rest.c_str());
        if (seconds <= 0 || seconds > 60) return "error usage: hang <seconds, 1 to 60>";
        reply("ok");
        Sleep(static_cast<DWORD>(seconds) * 1000);
        return {};
    }
    if (cmd == "list") {
        std::string out = "ok";
        for (auto& c : convs_) {
            out += ' ' + c->id + '=' + std::to_string(static_cast<int>(reinterpret_cast<LONG_PTR>(c->hwnd)));
        }
        return out;
    }

    if (cmd == "menu") {
        // Chooses a menu item of another program's window: "menu <window class> <item id>".
        std::istringstream in(rest);
        std::string windowClass;
        int item = 0;
        if (!(in >> windowClass >> item)) return "error usage: menu <window class> <item id>";
        HWND window = FindWindowA(windowClass.c_str(), nullptr);
        if (!window) return "error no window of class " + windowClass;
        PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(item), 0);
        return "ok";
    }
    if (cmd == "peek" || cmd == "click") {
        // Reads or clicks a control of another program's window from outside, as a user would:
        // "peek <window class> <control id>", "click <window class> <control id>".
        std::istringstream in(rest);
        std::string windowClass;
        int controlId = 0;
        if (!(in >> windowClass >> controlId)) return "error usage: " + cmd + " <window class> <control id>";
        HWND window = FindWindowA(windowClass.c_str(), nullptr);
        if (!window) return "error no window of class " + windowClass;
        HWND control = GetDlgItem(window, controlId);
        if (!control) return "error no control " + std::to_string(controlId);
        if (cmd == "click") {
            SendMessageA(control, BM_CLICK, 0, 0);
            return "ok";
        }
        std::string text(static_cast<std::size_t>(SendMessageA(control, WM_GETTEXTLENGTH, 0, 0)) + 1, '\0');
        SendMessageA(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
        text.resize(std::strlen(text.c_str()));
        return "ok " + textutil::escape(text);
    }

    std::size_t sp2 = rest.find(' ');
    std::string id = rest.substr(0, sp2);
    bool hasArg = sp2 != std::string::npos;
    std::string arg = hasArg ? rest.substr(sp2 + 1) : std::string();

    struct OpenCmd {
        const char* name;
        Variant variant;
    };
    static constexpr OpenCmd opens[] = {
        {"open", Variant::Normal},         {"open-w", Variant::Wide},
        {"open-noentry", Variant::NoEntry}, {"open-nobutton", Variant::NoButton},
        {"open-norichedit", Variant::NoRichEdit},
    };
    for (const auto& o : opens) {
        if (cmd == o.name) {
            if (!hasRest || id.empty() || !hasArg || arg.empty()) return "error usage: " + cmd + " <id> <name>";
            return cmdOpen(o.variant, id, textutil::unescape(arg));
        }
    }

    static constexpr const char* known[] = {"say",    "me",       "raw",    "fill",    "clear",
                                            "rename", "settitle", "entry",  "dump",    "send",
                                            "close",  "myname",   "length", "replace", "looks",
                                            "type",   "echo"};
    if (std::find_if(std::begin(known), std::end(known), [&](const char* k) { return cmd == k; }) ==
        std::end(known)) {
        return "error unknown command: " + cmd;
    }
    if (id.empty()) return "error usage: " + cmd + " <id> ...";
    Conversation* c = find(id);
    if (!c) return "error unknown id: " + id;

    auto needArg = [&](const char* usage) -> std::string {
        return hasArg ? std::string() : "error usage: " + cmd + " <id> " + usage;
    };

    if (cmd == "say" || cmd == "me") {
        if (auto e = needArg("<text>"); !e.empty()) return e;
        if (!c->history) return "error no history";
        const std::string& speaker = cmd == "say" ? c->name : c->ownName;
        appendAnsi(*c, textutil::formatMessage(speaker, textutil::splitLines(textutil::unescape(arg))));
        return "ok";
    }
    if (cmd == "raw") {
        if (auto e = needArg("<text>"); !e.empty()) return e;
        if (!c->history) return "error no history";
        appendAnsi(*c, textutil::unescape(arg));
        return "ok";
    }
    if (cmd == "fill") {
        unsigned kb = 0;
        if (!hasArg || !textutil::parseUnsigned(arg, kb) || kb > kMaxFillKb) {
            return "error usage: fill <id> <kilobytes 0.." + std::to_string(kMaxFillKb) + ">";
        }
        if (!c->history) return "error no history";
        appendAnsi(*c, textutil::fillerText(c->name, static_cast<std::size_t>(kb) * 1024));
        return "ok";
    }
    if (cmd == "clear") {
        if (!c->history) return "error no history";
        SetWindowTextA(c->history, "");
        return "ok";
    }
    if (cmd == "replace") {
        if (auto e = needArg("<text>"); !e.empty()) return e;
        if (!c->history) return "error no history";
        SetWindowTextA(c->history, textutil::unescape(arg).c_str());
        return "ok";
    }
    if (cmd == "length") {
        if (!c->history) return "error no history";
        return "ok " + std::to_string(GetWindowTextLengthW(c->history));
    }
    if (cmd == "looks") {
        if (!c->history) return "error no history";
        return "ok " + std::to_string(c->looks);
    }
    if (cmd == "rename") {
        if (!hasArg || arg.empty()) return "error usage: rename <id> <newname>";
        c->name = textutil::unescape(arg);
        setTitle(*c);
        return "ok";
    }
    if (cmd == "myname") {
        if (!hasArg || arg.empty()) return "error usage: myname <id> <name>";
        c->ownName = textutil::unescape(arg);
        return "ok";
    }
    if (cmd == "settitle") {
        if (auto e = needArg("<title>"); !e.empty()) return e;
        SetWindowTextA(c->hwnd, textutil::unescape(arg).c_str());
        return "ok";
    }
    if (cmd == "entry") {
        if (!c->entry) return "error no entry box";
        return "ok " + textutil::escape(readControlAnsi(*c, c->entry));
    }
    if (cmd == "type") {
        if (auto e = needArg("<text>"); !e.empty()) return e;
        if (!c->entry) return "error no entry box";
        SetWindowTextA(c->entry, textutil::unescape(arg).c_str());
        return "ok";
    }
    if (cmd == "echo") {
        c->echo = true;
        return "ok";
    }
    if (cmd == "dump") {
        if (!c->history) return "error no history";
        return "ok " + textutil::escape(readControlAnsi(*c, c->history));
    }
    if (cmd == "send") {
        if (!c->send) return "error no Send button";
        SendMessageA(c->send, BM_CLICK, 0, 0);
        return "ok";
    }
    if (cmd == "close") {
        DestroyWindow(c->hwnd);  // c is gone after this
        return "ok";
    }
    return "error unknown command: " + cmd;
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
    App app(inst);
    if (!app.init()) {
        const char msg[] = "error initialisation failed\n";
        DWORD w = 0;
        WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), msg, sizeof msg - 1, &w, nullptr);
        return 1;
    }
    app.startReader();

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // The reader may still be blocked in ReadFile; process exit ends it.
    return 0;
}
