#include "ui/main_window.h"

#include <commctrl.h>
#include <ole2.h>

#include "document/source.h"
#include "foundation/windows_exception.h"
#include "resources/resource_ids.h"

namespace ui {

using cpp::String;

IDropTarget* makeDropTarget(MainWindow& window);

namespace {

// At 96 DPI.
constexpr int baseRowHeight = 26;
constexpr int baseMinimumWidth = 628;

// Opens a popup menu at the control's lower-left corner.
void trackBelow(HWND control, HMENU menu, HWND owner) {
    RECT rect;
    GetWindowRect(control, &rect);
    POINT at = {rect.left + 1, rect.bottom};
    at = onScreen(at);
    TrackPopupMenu(menu, TPM_LEFTBUTTON, at.x, at.y, 0, owner, nullptr);
}

}  // namespace

MainWindow::MainWindow(MainWindowContext& context) : context_(context) {}

MainWindow::~MainWindow() {
    destroy();
    detachColourMenu();
}

void MainWindow::create() {
    // A new window opens on the primary monitor; WM_DPICHANGED follows it elsewhere.
    const int dpi = systemDpi();
    Window::create(nullptr, L"qi-lark.MainWindow", L"qi-log", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0,
                   RECT{0, 0, appearance::scaled(960, dpi), appearance::scaled(480, dpi)});
}

bool MainWindow::isActive() const { return GetActiveWindow() == handle(); }

HWND MainWindow::filterEdit() const {
    return filterBox_ ? reinterpret_cast<HWND>(SendMessageW(filterBox_, CBEM_GETEDITCONTROL, 0, 0)) : nullptr;
}

// Placed by placeControls.
HWND MainWindow::makeButton(const wchar_t* text, DWORD style, int id) {
    return CreateWindowExW(0, L"BUTTON", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, 0, 0, 0, handle(),
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void MainWindow::onCreate() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    look_.dpi = windowDpi(handle());
    themeChoice_ = appearance::themeChoiceFrom(context_.config().get("theme"));
    look_.dark = appearance::paintsDark(themeChoice_, appsUseLightTheme());
    context_.makeFonts(look_.dpi);
    for (int id : {IDB_RESUME, IDB_ADD, IDB_WRAP, IDB_CLOSE, IDB_PAUSE, IDB_HIGHLIGHT, IDB_SHOW, IDB_SHOW_ONLY, IDB_HIDE,
                   IDB_EXCLUDE, IDB_OPEN, IDB_STOPPED, IDB_PAUSED, IDB_COPY, IDB_SAVE, IDB_SELECT_ALL, IDB_CLOSE_FILE,
                   IDB_OPEN_FOLDER, IDB_SETTINGS})
        context_.images().bitmap(id, look_.imageScale());
    SendMessageW(handle(), WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 16, 16, LR_LOADTRANSPARENT)));
    SendMessageW(handle(), WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON, 32, 32, LR_LOADTRANSPARENT)));

    text_ = std::make_unique<TextWindow>(context_.document(), context_.viewer(), *this);
    RECT client;
    GetClientRect(handle(), &client);
    text_->create(handle(), RECT{0, look_.px(baseRowHeight), client.right, client.bottom}, 0);

    optionsButton_ = makeButton(L"Options", BS_SPLITBUTTON | BS_FLAT, IDC_OPTIONS_BUTTON);
    BUTTON_SPLITINFO split = {};
    split.mask = BCSIF_STYLE;
    split.uSplitStyle = BCSS_NOSPLIT;
    SendMessageW(optionsButton_, BCM_SETSPLITINFO, 0, reinterpret_cast<LPARAM>(&split));
    pauseButton_ = makeButton(L"", BS_BITMAP | BS_FLAT, IDC_PAUSE_BUTTON);
    createFilterControls();
    addButton_ = makeButton(L"Add", BS_FLAT, IDC_ADD_BUTTON);
    // The view mode last chosen: "hide-filters", "filters" or "files-and-filters".
    const String view = context_.config().get("view");
    showFiles_ = view == "files-and-filters";
    showFilters_ = view != "hide-filters";
    viewButton_ = makeButton(viewModeName(), BS_SPLITBUTTON | BS_FLAT, IDC_VIEW_BUTTON);
    wrapButton_ = makeButton(L"Wrap Lines", BS_AUTOCHECKBOX | BS_PUSHLIKE | BS_BITMAP | BS_FLAT, IDC_WRAP_BUTTON);
    const bool wrap = context_.config().get("line_wrap") == "true";
    SendMessageW(wrapButton_, BM_SETCHECK, wrap ? BST_CHECKED : BST_UNCHECKED, 0);
    context_.viewer().setWrap(wrap);

    tooltip_ = CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, handle(), nullptr, instance, nullptr);
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 0);
    SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_INITIAL, 250);
    SendMessageW(tooltip_, TTM_SETDELAYTIME, TTDT_RESHOW, 2000);
    const std::pair<HWND, const wchar_t*> tools[] = {{pauseButton_, L"Pause/Resume Tailing"},
                                                     {filterBox_, L"Filter Combo"},
                                                     {addButton_, L"Add Button"},
                                                     {viewButton_, L"View Button"},
                                                     {wrapButton_, L"Toggle Line Wrapping"}};
    for (const auto& [control, tip] : tools) {
        TOOLINFOW tool = {};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = handle();
        tool.uId = reinterpret_cast<UINT_PTR>(control);
        tool.lpszText = const_cast<wchar_t*>(tip);
        SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    SendMessageW(tooltip_, TTM_ACTIVATE, TRUE, 0);

    optionsMenu_.reset(LoadMenuW(instance, MAKEINTRESOURCEW(IDM_OPTIONS)));
    rebuildRecentMenu();
    viewMenu_.reset(LoadMenuW(instance, MAKEINTRESOURCEW(IDM_VIEW_MODE)));
    setOrder(context_.config().get("order") == "time" ? data::LineOrder::Time : data::LineOrder::Arrival);
    applyLook(true);

    dropTarget_ = cpp::windows::ComPtr<::IDropTarget>(makeDropTarget(*this));
    const HRESULT registered = RegisterDragDrop(handle(), dropTarget_.get());
    if (FAILED(registered)) throw cpp::windows::Exception(static_cast<std::uint32_t>(registered), "RegisterDragDrop");
    context_.viewer().setListsChangedCallback([this] {
        onUpdateFilters();
        requestSessionSave();
    });
    context_.viewer().updateView();
}

void MainWindow::placeControls() {
    const auto place = [this](HWND control, int x, int y, int width, int height) {
        SetWindowPos(control, nullptr, look_.px(x), look_.px(y), look_.px(width), look_.px(height),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(optionsButton_, 10, 1, 80, 24);
    place(pauseButton_, 110, 1, 32, 24);
    place(filterBox_, 146, 2, 204, 200);
    place(addButton_, 354, 1, 48, 24);
    place(viewButton_, 406, 1, 160, 24);
    place(wrapButton_, 570, 1, 24, 24);
}

void MainWindow::applyLook(bool newFonts) {
    const HFONT font = context_.namedFont("ui");
    for (const HWND control : {optionsButton_, pauseButton_, filterBox_, addButton_, viewButton_, wrapButton_, filterList_})
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    placeControls();

    const appearance::ImageScale scale = look_.imageScale();
    auto& images = context_.images();
    updatePauseButton();
    SendMessageW(addButton_, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(images.bitmap(IDB_ADD, scale)));
    SendMessageW(wrapButton_, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(images.bitmap(IDB_WRAP, scale)));
    const std::pair<UINT, int> bitmaps[] = {{ID_OPEN, IDB_OPEN},
                                            {ID_OPEN_CONTAINING_FOLDER, IDB_OPEN_FOLDER},
                                            {ID_CLOSE, IDB_CLOSE_FILE},
                                            {ID_SAVE_AS, IDB_SAVE},
                                            {ID_SETTINGS, IDB_SETTINGS}};
    for (const auto& [command, image] : bitmaps) {
        const HBITMAP bitmap = images.bitmap(image, scale);
        SetMenuItemBitmaps(optionsMenu(), command, MF_BYCOMMAND, bitmap, bitmap);
    }
    applyFilterLook();

    const auto& palette = look_.palette();
    setTitleBarDark(handle(), look_.dark);
    // The list keeps the system's look in the light theme.
    ListView_SetBkColor(filterList_, look_.dark ? toColorRef(palette.face) : GetSysColor(COLOR_WINDOW));
    // A new text font lays every line out again; a theme alone does not.
    if (newFonts) text_->setTextFont(context_.namedFont("text"), look_.dpi);
    text_->applyLook();
    help_.setDark(look_.dark);
    const HMENU theme = GetSubMenu(GetSubMenu(viewMenu_.get(), 0), 4);
    CheckMenuRadioItem(theme, ID_THEME_SYSTEM, ID_THEME_DARK, ID_THEME_SYSTEM + static_cast<UINT>(themeChoice_),
                       MF_BYCOMMAND);
    onUpdateFilters();  // the items' colours
    RedrawWindow(handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

void MainWindow::setDpi(int dpi) {
    if (dpi <= 0 || dpi == look_.dpi) return;
    look_.dpi = dpi;
    context_.makeFonts(dpi);
    applyLook(true);
}

void MainWindow::setThemeChoice(appearance::ThemeChoice choice) {
    themeChoice_ = choice;
    context_.config().set("theme", appearance::configText(choice));
    updateTheme();
}

void MainWindow::updateTheme() {
    look_.dark = appearance::paintsDark(themeChoice_, appsUseLightTheme());
    applyLook(false);
}

void MainWindow::onSize() {
    RECT client;
    GetClientRect(handle(), &client);
    const int rowHeight = look_.px(baseRowHeight);
    const int margin = look_.px(4);
    int listHeight = 0;
    if (ListView_GetItemCount(filterList_) == 0) {
        ShowWindow(filterList_, SW_HIDE);
    } else {
        const int width = client.right - client.left - 2 * margin;
        listHeight = filterListHeight();
        SetWindowPos(filterList_, nullptr, client.left + margin, client.top + rowHeight, width, listHeight,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        const int rewrapped = filterListHeight();
        if (rewrapped != listHeight) {
            listHeight = rewrapped;
            SetWindowPos(filterList_, nullptr, client.left + margin, client.top + rowHeight, width, listHeight,
                         SWP_NOZORDER | SWP_NOACTIVATE);
        }
        ShowWindow(filterList_, SW_SHOWNA);
        listHeight += look_.px(2);
    }
    SetWindowPos(text_->handle(), nullptr, client.left, client.top + rowHeight + listHeight, client.right - client.left,
                 client.bottom - client.top - rowHeight - listHeight, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    InvalidateRect(handle(), nullptr, TRUE);
}

void MainWindow::updatePauseButton() {
    const bool paused = context_.document().tailingPaused();
    SendMessageW(pauseButton_, BM_SETIMAGE, IMAGE_BITMAP,
                 reinterpret_cast<LPARAM>(context_.images().bitmap(paused ? IDB_RESUME : IDB_PAUSE, look_.imageScale())));
}

void MainWindow::requestRefresh() {
    // Wanted first: a pause that ends meanwhile sees it and asks again.
    refreshWanted_ = true;
    if (!updatePosted_.exchange(true)) PostMessageW(handle(), refreshMessage, 0, 0);
}

void MainWindow::updateTitle() {
    String title = context_.document().sourceCaption();
    if (title.empty()) title = String::substitute("qi-lark %", context_.version());
    if (context_.document().tailingPaused()) title += " (paused)";
    SetWindowTextW(handle(), title.toWide().c_str());
}

void MainWindow::setShowMarkedOnly(bool on) {
    context_.document().setShowMarkedOnly(on);
    CheckMenuItem(GetSubMenu(viewMenu_.get(), 0), ID_SHOW_MARKED_ONLY, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
}

void MainWindow::setOrder(data::LineOrder order) {
    if (order != context_.document().order()) pendingCaret_ = text_->caretLine();
    context_.document().setOrder(order);
    context_.config().set("order", order == data::LineOrder::Time ? "time" : "arrival");
    CheckMenuRadioItem(GetSubMenu(viewMenu_.get(), 0), ID_ORDER_ARRIVAL, ID_ORDER_TIME,
                       order == data::LineOrder::Time ? ID_ORDER_TIME : ID_ORDER_ARRIVAL, MF_BYCOMMAND);
}

void MainWindow::updateOptionsMenu() {
    CheckMenuItem(optionsMenu(), ID_REOPEN_SESSION,
                  MF_BYCOMMAND | (context_.config().get("reopen-session") == "off" ? MF_UNCHECKED : MF_CHECKED));
    const bool open = !context_.document().openFilePaths().empty() || !context_.viewer().sources().empty();
    for (UINT command : {ID_OPEN_CONTAINING_FOLDER, ID_CLOSE, ID_SAVE_AS})
        EnableMenuItem(optionsMenu(), command, MF_BYCOMMAND | (open ? MF_ENABLED : MF_GRAYED));
}

void MainWindow::openOptionsMenu() {
    updateOptionsMenu();
    trackBelow(optionsButton_, optionsMenu(), handle());
}

void MainWindow::openViewMenu() {
    // Closing the files shows all lines again.
    CheckMenuItem(GetSubMenu(viewMenu_.get(), 0), ID_SHOW_MARKED_ONLY,
                  MF_BYCOMMAND | (context_.document().showMarkedOnly() ? MF_CHECKED : MF_UNCHECKED));
    trackBelow(viewButton_, GetSubMenu(viewMenu_.get(), 0), handle());
}

const wchar_t* MainWindow::viewModeName() const {
    return !showFilters_ ? L"Hide Filters" : showFiles_ ? L"View Files and Filters" : L"View Filters";
}

void MainWindow::setViewMode(bool showFiles, bool showFilters) {
    showFiles_ = showFiles;
    showFilters_ = showFilters;
    context_.config().set("view", !showFilters ? "hide-filters" : showFiles ? "files-and-filters" : "filters");
    SetWindowTextW(viewButton_, viewModeName());
    onUpdateFilters();
    RedrawWindow(text_->handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void MainWindow::onCommand(UINT id, UINT code) {
    auto& document = context_.document();
    auto& viewer = context_.viewer();
    switch (id) {
    case IDC_OPTIONS_BUTTON: openOptionsMenu(); return;
    case IDC_PAUSE_BUTTON:
        if (document.tailingPaused()) {
            document.resumeTailing();
        } else {
            document.pauseTailing();
        }
        updatePauseButton();
        updateTitle();
        return;
    case IDC_ADD_BUTTON: document.addFilter(); return;
    case IDC_WRAP_BUTTON: {
        const bool wrap = SendMessageW(wrapButton_, BM_GETCHECK, 0, 0) == BST_CHECKED;
        viewer.setWrap(wrap);
        if (wrap && viewer.wrapWidth() != viewer.metrics().viewWidth) document.setViewWidth(viewer.wrapWidth());
        viewer.updateView();
        context_.config().set("line_wrap", wrap ? "true" : "false");
        return;
    }
    case IDC_VIEW_BUTTON:
        if (showFiles_) {
            setViewMode(false, false);
        } else if (showFilters_) {
            setViewMode(true, true);
        } else {
            setViewMode(false, true);
        }
        return;
    case IDC_FILTER_BOX:
        if (code == CBN_EDITCHANGE) onFilterTextChanged();
        return;
    case ID_HIDE_FILTERS: setViewMode(false, false); return;
    case ID_VIEW_FILTERS: setViewMode(false, true); return;
    case ID_VIEW_FILES_AND_FILTERS: setViewMode(true, true); return;
    case ID_OPEN: openDialog(); return;
    case ID_OPEN_CONTAINING_FOLDER: openContainingFolder(); return;
    case ID_CLOSE:
        document.clear();
        pendingTop_.reset();
        text_->setNotice(String());
        updatePauseButton();
        updateTitle();
        return;
    case ID_SAVE_AS: saveVisibleLines(); return;
    case ID_FIND_NEXT: text_->findMatch(true); return;
    case ID_FIND_PREVIOUS: text_->findMatch(false); return;
    case ID_GO_TO_LINE: text_->askGoToLine(); return;
    case ID_SELECT_FILTER_SET:
    case ID_FILTER_SETS:
    case ID_SETTINGS: return;
    case ID_THEME_SYSTEM: setThemeChoice(appearance::ThemeChoice::System); return;
    case ID_THEME_LIGHT: setThemeChoice(appearance::ThemeChoice::Light); return;
    case ID_THEME_DARK: setThemeChoice(appearance::ThemeChoice::Dark); return;
    case ID_HELP: help_.show(handle(), look_, context_.version()); return;
    case ID_SHOW_MARKED_ONLY: setShowMarkedOnly(!document.showMarkedOnly()); return;
    case ID_ORDER_ARRIVAL: setOrder(data::LineOrder::Arrival); return;
    case ID_ORDER_TIME: setOrder(data::LineOrder::Time); return;
    case ID_REOPEN_SESSION:
        context_.config().set("reopen-session", context_.config().get("reopen-session") == "off" ? "on" : "off");
        return;
    default: break;
    }
    if ((id >= ID_FILTER_HIGHLIGHT && id <= ID_FILTER_REMOVE) || (id >= ID_FILTER_SHOW_ONLY && id <= ID_FILE_STOP) ||
        (id >= ID_FILE_ENCODING_AUTO && id <= ID_FILE_ENCODING_ANSI) || (id >= 40150 && id <= 40185)) {
        onItemCommand(id);
        return;
    }
    if (id >= firstRecent && id < firstRecent + recentLimit) openRecent(id - firstRecent);
}

LRESULT MainWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: onCreate(); return 0;
    case WM_CLOSE:
        // Closed by the user or with the system's session: kept before the
        // window and its document go.
        saveSession(true);
        break;
    case WM_ENDSESSION:
        if (wParam) saveSession(true);
        return 0;
    case WM_DESTROY:
        RevokeDragDrop(handle());
        PostQuitMessage(0);
        return 0;
    case WM_SIZE:
        if (wParam != SIZE_MINIMIZED) onSize();
        return 0;
    case WM_DPICHANGED: {
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        setDpi(LOWORD(wParam));
        SetWindowPos(handle(), nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        return 0;
    }
    case WM_SETTINGCHANGE:
        if (isThemeChange(lParam) && themeChoice_ == appearance::ThemeChoice::System) updateTheme();
        return defaultHandling(message, wParam, lParam);
    case WM_SIZING: {
        const int minimumWidth = look_.px(baseMinimumWidth);
        auto* rect = reinterpret_cast<RECT*>(lParam);
        if (rect->right - rect->left < minimumWidth) {
            if (wParam == WMSZ_LEFT || wParam == WMSZ_TOPLEFT || wParam == WMSZ_BOTTOMLEFT) {
                rect->left = rect->right - minimumWidth;
            } else {
                rect->right = rect->left + minimumWidth;
            }
        }
        return TRUE;
    }
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(handle(), &client);
        const cpp::windows::Brush face(CreateSolidBrush(toColorRef(look_.palette().face)));
        FillRect(reinterpret_cast<HDC>(wParam), &client, face.get());
        return 1;
    }
    case refreshMessage:
        // The pause starts before the refresh, so that a refresh that throws
        // cannot stop all later ones; requests made during it are seen after it.
        SetTimer(handle(), refreshPauseTimer, refreshPauseMilliseconds, nullptr);
        refreshWanted_ = false;
        context_.viewer().refresh();
        scrollToPendingTop();
        if (pendingCaret_ && context_.document().isIdle()) {
            text_->showLine(pendingCaret_->first, pendingCaret_->second);
            pendingCaret_.reset();
        }
        return 0;
    case WM_TIMER:
        if (wParam == sessionTimer) {
            KillTimer(handle(), sessionTimer);
            sessionSaveDue_ = false;
            saveSession(false);
            return 0;
        }
        if (wParam != refreshPauseTimer) break;
        KillTimer(handle(), refreshPauseTimer);
        updatePosted_ = false;
        if (refreshWanted_) requestRefresh();
        return 0;
    case WM_MOUSEWHEEL: text_->onMouseWheel(GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
    case WM_MENURBUTTONUP:
        if (reinterpret_cast<HMENU>(lParam) == recentMenu()) forgetRecent(wParam);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom == IDC_VIEW_BUTTON && header->code == BCN_DROPDOWN) {
            openViewMenu();
            return 0;
        }
        return onFilterNotify(*header);
    }
    case WM_MEASUREITEM: {
        auto* measure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (measure->CtlType != ODT_MENU) break;
        measure->itemWidth = static_cast<UINT>(look_.px(12));
        measure->itemHeight = static_cast<UINT>(look_.px(24));
        return TRUE;
    }
    case WM_DRAWITEM: {
        const auto* draw = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (draw->CtlType != ODT_MENU) break;
        RECT area = draw->rcItem;
        FillRect(draw->hDC, &area, GetSysColorBrush((draw->itemState & ODS_SELECTED) ? COLOR_MENUHILIGHT : COLOR_MENU));
        InflateRect(&area, -look_.px(4), -look_.px(4));
        FillRect(draw->hDC, &area, GetSysColorBrush(COLOR_WINDOWFRAME));
        InflateRect(&area, -look_.px(1), -look_.px(1));
        // The colour as it will be painted in this theme.
        const std::uint32_t colour = data::paletteColour(35 - static_cast<int>(draw->itemID - 40150));
        cpp::windows::Brush swatch(CreateSolidBrush(toColorRef(look_.palette().tint(colour))));
        FillRect(draw->hDC, &area, swatch.get());
        return TRUE;
    }
    case WM_COMMAND: onCommand(LOWORD(wParam), HIWORD(wParam)); return 0;
    // F1 where a control has the focus; the text window answers F1 itself.
    case WM_HELP: onCommand(ID_HELP, 0); return TRUE;
    default: break;
    }
    return defaultHandling(message, wParam, lParam);
}

}  // namespace ui
