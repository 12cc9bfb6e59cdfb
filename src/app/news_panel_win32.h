#pragma once

#include <windows.h>

#include <vector>

#include "app/news_page.h"

namespace quorvanel {

// The news strip at the bottom of the main window: a read-only rich edit showing the news page's
// text; a click on one of its links opens the link in the default browser.
class NewsPanel {
public:
    // Creates the control as a child of parent at the given pixel rectangle.
    bool Create(HWND parent, int id, const RECT& at);
    HWND Handle() const { return edit_; }
    void Show(const NewsText& news);
    // The parent forwards its WM_NOTIFY here; true when it was a link click that was handled.
    bool OnNotify(const NMHDR& header);

private:
    HWND edit_ = nullptr;
    std::vector<NewsText::Link> links_;
};

}  // namespace quorvanel
