#include "ui/text_window.h"

#include <windowsx.h>

#include "foundation/logger.h"
#include "resources/resource_ids.h"

namespace ui {

using cpp::String;

namespace {

cpp::windows::Brush solidBrush(std::uint32_t argb) {
    return cpp::windows::Brush(CreateSolidBrush(toColorRef(argb)));
}

}  // namespace

TextWindow::TextWindow(data::Document document, data::Viewer viewer, TextWindowHost& host)
    : document_(std::move(document)),
      viewer_(std::move(viewer)),
      host_(host),
      updateNotice_(host),
      memoryWindow_(host) {}

TextWindow::~TextWindow() { destroy(); }

void TextWindow::create(HWND parent, const RECT& rect, UINT id) {
    Window::create(parent, L"qi-lark.TextWindow", L"TextWindow",
                   WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_HSCROLL | WS_VSCROLL, 0, rect, id);
}

void TextWindow::setTextFont(HFONT font, int dpi) {
    textFont_ = font;
    measure_ = std::make_shared<GdiMeasure>(font);
    viewer_.setFont(measure_, dpi);
}

void TextWindow::applyLook() {
    look_ = host_.look();
    const auto& palette = look_.palette();
    LOGFONTW label = {};
    label.lfHeight = look_.px(32);
    label.lfQuality = CLEARTYPE_QUALITY;
    wcscpy_s(label.lfFaceName, L"Tahoma");
    labelFont_.reset(CreateFontIndirectW(&label));
    LOGFONTW created = {};
    GetObjectW(labelFont_.get(), sizeof(created), &created);
    labelFontHeight_ = std::abs(created.lfHeight);

    if (contextMenu_) {
        const HMENU popup = GetSubMenu(contextMenu_.get(), 0);
        const std::pair<UINT, int> bitmaps[] = {
            {ID_SELECTION_HIGHLIGHT, IDB_HIGHLIGHT}, {ID_SELECTION_SHOW, IDB_SHOW}, {ID_SELECTION_SHOW_ONLY, IDB_SHOW_ONLY},
            {ID_SELECTION_HIDE, IDB_HIDE},           {ID_SELECTION_EXCLUDE, IDB_EXCLUDE}, {ID_COPY_SELECTION, IDB_COPY},
            {ID_SAVE_SELECTION, IDB_SAVE},           {ID_SELECT_ALL, IDB_SELECT_ALL}};
        for (const auto& [command, image] : bitmaps) {
            try {
                const HBITMAP bitmap = host_.images().bitmap(image, look_.imageScale());
                SetMenuItemBitmaps(popup, command, MF_BYCOMMAND, bitmap, bitmap);
            } catch (const std::exception& e) {
                cpp::logError(String::substitute("TextWindow::applyLook() : %", e.what()));
            }
        }
    }
    lineBrush_ = solidBrush(palette.window);
    caretLineBrush_ = solidBrush(palette.caretLine);
    markedLineBrush_ = solidBrush(palette.markedLine);
    markBrush_ = solidBrush(palette.mark);
    continuationBrush_ = solidBrush(palette.continuationLine);
    gutterBrush_ = solidBrush(palette.gutter);
    recentGutterBrush_ = solidBrush(palette.recentGutter);
    nullPen_.reset(CreatePen(PS_NULL, 0, 0));
    focusPen_.reset(CreatePen(PS_DOT, 1, toColorRef(palette.frame)));
    caretPen_.reset(CreatePen(PS_SOLID, 1, toColorRef(palette.text)));
    statusPopup_.setLook(look_);
    updateNotice_.applyLook();
    memoryWindow_.applyLook();
    stackPanels();
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

void TextWindow::onCreate() {
    updateNotice_.create(handle(), IDD_UPDATE);
    ShowWindow(updateNotice_.handle(), SW_HIDE);
    memoryWindow_.create(handle(), IDD_MEMORY);
    ShowWindow(memoryWindow_.handle(), host_.debugMode() ? SW_SHOWNA : SW_HIDE);
    statusPopup_.create(handle());
    contextMenu_.reset(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_TEXT)));
    applyLook();
    SetTimer(handle(), blinkTimer, 500, nullptr);
    viewer_.setViewChangedCallback([this] { onUpdateView(); });
}

// The update notice, then the memory panel, in the top right corner.
void TextWindow::stackPanels() {
    RECT client;
    GetClientRect(handle(), &client);
    const int gap = look_.px(2);
    int y = client.top + gap;
    for (const HWND panel : {updateNotice_.handle(), memoryWindow_.handle()}) {
        if (!panel || !IsWindowVisible(panel)) continue;
        RECT rect;
        GetWindowRect(panel, &rect);
        const int width = rect.right - rect.left;
        const int height = rect.bottom - rect.top;
        MoveWindow(panel, client.right - width - gap, y, width, height, TRUE);
        y += height + gap;
    }
}

// Visible exactly while the main window is in front, the text area is at
// least 128 pixels high and the pointer is over it.
void TextWindow::applyPopupRule() {
    if (!statusPopup_.handle()) return;
    RECT client;
    GetClientRect(handle(), &client);
    POINT pointer;
    GetCursorPos(&pointer);
    ScreenToClient(handle(), &pointer);
    const bool wanted = GetForegroundWindow() == GetAncestor(handle(), GA_ROOT) && client.bottom >= look_.px(128) &&
                        PtInRect(&client, pointer);
    if (wanted != (IsWindowVisible(statusPopup_.handle()) != 0))
        ShowWindow(statusPopup_.handle(), wanted ? SW_SHOWNA : SW_HIDE);
}

void TextWindow::updateStatusText(const data::TextCursor& cursor) {
    try {
        const auto items = statusItems(cursor);
        if (items.empty()) {
            ShowWindow(statusPopup_.handle(), SW_HIDE);
            return;
        }
        statusPopup_.setItems(items);
        RECT client;
        GetClientRect(handle(), &client);
        const SIZE size = statusPopup_.size();
        SetWindowPos(statusPopup_.handle(), nullptr, client.right - size.cx - look_.px(8), client.bottom - size.cy - look_.px(8), 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE);
        applyPopupRule();
        RedrawWindow(statusPopup_.handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME);
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("TextWindow::updateStatusText() : %", e.what()));
        ShowWindow(statusPopup_.handle(), SW_HIDE);
    }
}

void TextWindow::showUpdateNotice(const String& downloadUrl) {
    updateNotice_.setDownloadUrl(downloadUrl);
    ShowWindow(updateNotice_.handle(), SW_SHOWNA);
    stackPanels();
}

void TextWindow::onSize() {
    stackPanels();
    if (IsWindowVisible(statusPopup_.handle())) applyPopupRule();
    RECT client;
    GetClientRect(handle(), &client);
    viewer_.setClientSize(client.right, client.bottom);
    if (viewer_.wrap() && viewer_.wrapWidth() != viewer_.metrics().viewWidth) {
        document_.setViewWidth(viewer_.wrapWidth());
    } else {
        viewer_.updateView();
    }
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TextWindow::onUpdateView() {
    lastUpdate_ = cpp::Time();
    recentRow_ = viewer_.firstRecentLine();
    RECT client;
    GetClientRect(handle(), &client);
    SCROLLINFO info = {};
    info.cbSize = sizeof(info);
    info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    info.nMax = viewer_.wrap() ? static_cast<int>(viewer_.metrics().viewMeasure) : viewer_.contentWidth();
    info.nPage = static_cast<UINT>(client.right);
    info.nPos = viewer_.scrollX();
    SetScrollInfo(handle(), SB_HORZ, &info, TRUE);
    verticalScrollUnit_ = viewer_.contentHeight() / 0x40000000 + 1;
    const std::int64_t unit = verticalScrollUnit_;
    info.nMax = static_cast<int>(viewer_.contentHeight() / unit);
    info.nPage = static_cast<UINT>(std::max<std::int64_t>(client.bottom / unit, 1));
    info.nPos = static_cast<int>(viewer_.scrollY() / unit);
    SetScrollInfo(handle(), SB_VERT, &info, TRUE);
    try {
        POINT pointer;
        GetCursorPos(&pointer);
        ScreenToClient(handle(), &pointer);
        updateStatusText(viewer_.positionAt(pointer.x, pointer.y));
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("TextWindow::onUpdateView( ) : %", e.what()));
    }
    if (memoryWindow_.handle()) {
        const auto& status = viewer_.status();
        memoryWindow_.showFigures({status.lineMemory, status.indexMemory, status.filterMemory, status.textCacheMemory,
                                   status.fileCacheMemory});
    }
    InvalidateRect(handle(), nullptr, TRUE);
}

std::vector<String> TextWindow::statusItems(const data::TextCursor& cursor) const {
    if (cursor.row == UINT32_MAX || cursor.column == UINT32_MAX || cursor.row >= viewer_.rowCount()) {
        if (notice_.empty()) return {};
        return {notice_};
    }
    const data::DisplayLine& line = const_cast<data::Viewer&>(viewer_).row(cursor.row, false);
    const auto& sources = viewer_.sources();
    const auto found = sources.find(line.entry.sourceId);
    const String name = found == sources.end() ? String("?") : found->second.name;
    String lines = String::substitute("% lines", viewer_.status().visibleLines);
    if (viewer_.status().visibleLines != viewer_.status().lines)
        lines += String::substitute(" (of %)", viewer_.status().lines);
    double share = 1.0;
    for (const auto& [id, info] : sources)
        if (!info.paused) share = std::min(share, info.readShare);  // a paused source waits, not reads
    if (share < 1.0) lines += String::substitute(", reading %%", static_cast<int>(share * 100));
    std::vector<String> items{String::substitute("% : % : %", name, line.entry.lineNumber, line.segmentStart + cursor.column),
                              lines};
    for (const auto& [id, info] : sources)
        if (!info.fault.empty()) items.push_back(info.fault);
    if (!notice_.empty()) items.push_back(notice_);
    return items;
}

void TextWindow::checkMissingText(bool tick) {
    if (!viewer_.pageIncomplete()) {
        lastUpdate_ = cpp::Time();
        if (refetchRunning_) {
            KillTimer(handle(), refetchTimer);
            refetchRunning_ = false;
        }
        if (tick) InvalidateRect(handle(), nullptr, FALSE);
        return;
    }
    if (!refetchRunning_) {
        SetTimer(handle(), refetchTimer, 200, nullptr);
        refetchRunning_ = true;
        return;
    }
    if ((cpp::Time() - lastUpdate_).count() > 100'000) {
        lastUpdate_ = cpp::Time();
        viewer_.refetchPage();
        if (!viewer_.pageIncomplete()) {
            KillTimer(handle(), refetchTimer);
            refetchRunning_ = false;
            InvalidateRect(handle(), nullptr, FALSE);
        }
    }
}

void TextWindow::onTimer(UINT_PTR id) {
    if (id == blinkTimer) {
        const std::uint32_t recent = viewer_.firstRecentLine();
        if (recent != recentRow_) {
            recentRow_ = recent;
            InvalidateRect(handle(), nullptr, FALSE);
        }
        caretVisible_ = !caretVisible_;
        applyPopupRule();
        if (host_.isActive()) {
            const data::TextCursor caret = document_.toDisplayCursor(viewer_.caret(), viewer_.wrap());
            const auto first = viewer_.pageFirst();
            if (caret.row >= first && caret.row < first + viewer_.pageLines().size()) {
                RECT band = {0, rowTop(caret.row), 1 << 30, rowTop(caret.row + 1)};
                InvalidateRect(handle(), &band, FALSE);
            }
        }
    } else if (id == refetchTimer) {
        checkMissingText(true);
    } else if (id == dragTimer) {
        onDragTimer();
    }
}

LRESULT TextWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(); return 0;
    case WM_DESTROY:
        viewer_.setViewChangedCallback(nullptr);
        KillTimer(handle(), blinkTimer);
        return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) onSize();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); return 0;
    case WM_PAINT:
    case WM_PRINTCLIENT:
        paintBuffered(handle(), message == WM_PRINTCLIENT ? reinterpret_cast<HDC>(wParam) : nullptr,
                      [this](HDC dc, const RECT& clip) { paint(dc, clip); });
        return 0;
    case WM_ERASEBKGND: return 1;
    case WM_TIMER: onTimer(wParam); return 0;
    case WM_GETDLGCODE: return DLGC_WANTALLKEYS;
    case WM_KEYDOWN: onKeyDown(static_cast<UINT>(wParam)); return 0;
    case WM_CHAR: onChar(static_cast<wchar_t>(wParam)); return 0;
    case WM_HSCROLL: onScroll(SB_HORZ, LOWORD(wParam)); return 0;
    case WM_VSCROLL: onScroll(SB_VERT, LOWORD(wParam)); return 0;
    case WM_MOUSEWHEEL: onMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONUP: onMouse(message, wParam, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}); return 0;
    case WM_CAPTURECHANGED:
        // Whoever took the mouse ended the drag.
        wordMode_ = false;
        KillTimer(handle(), dragTimer);
        return 0;
    case WM_APPCOMMAND: return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ID_SELECTION_HIGHLIGHT: onFilterSelection(data::FilterKind::Highlight); return 0;
        case ID_SELECTION_SHOW: onFilterSelection(data::FilterKind::Show); return 0;
        case ID_SELECTION_SHOW_ONLY: onFilterSelection(data::FilterKind::ShowOnly); return 0;
        case ID_SELECTION_HIDE: onFilterSelection(data::FilterKind::Hide); return 0;
        case ID_SELECTION_EXCLUDE: onFilterSelection(data::FilterKind::Exclude); return 0;
        case ID_COPY_SELECTION: copySelection(); return 0;
        case ID_SAVE_SELECTION: saveSelection(); return 0;
        case ID_SELECT_ALL: selectAll(); return 0;
        case ID_FIND_NEXT: findMatch(true); return 0;
        case ID_FIND_PREVIOUS: findMatch(false); return 0;
        case ID_GO_TO_LINE: askGoToLine(); return 0;
        case ID_MARK_LINE: toggleMarks(); return 0;
        case ID_NEXT_MARK: goToMark(true); return 0;
        case ID_PREVIOUS_MARK: goToMark(false); return 0;
        case ID_CLEAR_MARKS: document_.clearMarks(); return 0;
        case ID_COPY_MARKED_LINES: copyMarkedLines(); return 0;
        default: break;
        }
        break;
    default: break;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace ui
