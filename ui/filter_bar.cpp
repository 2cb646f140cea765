// The filter side of the main window: the filter box, the filter list with
// its source and filter items, their menus and the colour menu.
#include <windowsx.h>

#include <algorithm>
#include <optional>

#include "document/source.h"
#include "resources/resource_ids.h"
#include "ui/main_window.h"

namespace ui {

using cpp::String;

namespace {

constexpr UINT firstColour = 40150;
constexpr int maximumListHeight = 64;  // at 96 DPI
enum Image { sourceReading = 5, sourcePaused = 6, sourceStopped = 7 };

const wchar_t* const editOwner = L"qi-lark.MainWindow";

data::FilterKind kindOfCommand(UINT id) {
    switch (id) {
    case ID_FILTER_HIGHLIGHT: return data::FilterKind::Highlight;
    case ID_FILTER_SHOW: return data::FilterKind::Show;
    case ID_FILTER_SHOW_ONLY: return data::FilterKind::ShowOnly;
    case ID_FILTER_HIDE: return data::FilterKind::Hide;
    default: return data::FilterKind::Exclude;
    }
}

// The source menu's encodings, from ID_FILE_ENCODING_AUTO on; none: detected.
const std::optional<cpp::TextEncoding> menuEncodings[] = {std::nullopt, cpp::TextEncoding::Utf8,
                                                          cpp::TextEncoding::Utf16Le, cpp::TextEncoding::Utf16Be,
                                                          cpp::TextEncoding::Ansi};
constexpr int encodingPosition = 3;  // of the Encoding submenu in the source menu

}  // namespace

void MainWindow::createFilterControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    filterList_ = CreateWindowExW(0, WC_LISTVIEWW, L"FilterList",
                                  WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_SMALLICON | LVS_SINGLESEL |
                                      LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE,
                                  0, 0, 0, 0, handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FILTER_LIST)),
                                  instance, nullptr);
    ShowWindow(filterList_, SW_HIDE);

    filterBox_ = CreateWindowExW(0, WC_COMBOBOXEXW, L"",
                                 WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN | CBS_AUTOHSCROLL, 146, 2, 204, 200,
                                 handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FILTER_BOX)), instance, nullptr);
    SendMessageW(filterBox_, CB_SETCUEBANNER, 0, reinterpret_cast<LPARAM>(L"Filter Text"));
    if (const HWND edit = filterEdit()) {
        SendMessageW(edit, EM_SETCUEBANNER, TRUE, reinterpret_cast<LPARAM>(L"Filter Text"));
        SetPropW(edit, editOwner, this);
        editDefault_ = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProcedure)));
    }
    COMBOBOXEXITEMW item = {};
    item.mask = CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = -1;
    item.iImage = item.iSelectedImage = lastImage_;
    SendMessageW(filterBox_, CBEM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));

    // Six columns of six swatches; item k is palette entry 35 - k.
    colourMenu_.reset(CreatePopupMenu());
    for (int column = 0; column < 6; ++column) {
        for (int row = 0; row < 6; ++row) {
            const UINT id = firstColour + 6 * row + column;
            UINT flags = MF_OWNERDRAW;
            if (row == 0 && column > 0) flags |= MF_MENUBREAK;
            AppendMenuW(colourMenu_.get(), flags, id, reinterpret_cast<LPCWSTR>(static_cast<UINT_PTR>(id)));
        }
    }
    filterMenu_.reset(LoadMenuW(instance, MAKEINTRESOURCEW(IDM_FILTER)));
    fileMenu_.reset(LoadMenuW(instance, MAKEINTRESOURCEW(IDM_FILE)));
    for (const HMENU menu : {filterMenu_.get(), fileMenu_.get()}) {
        const HMENU popup = GetSubMenu(menu, 0);
        // The colour menu is shared: it is attached, not owned, by both.
        const int colour = menu == filterMenu_.get() ? 6 : 2;
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_SUBMENU;
        // Replaced, the placeholder is ours to destroy.
        const cpp::windows::Menu placeholder(GetSubMenu(popup, colour));
        info.hSubMenu = colourMenu_.get();
        SetMenuItemInfoW(popup, colour, TRUE, &info);
    }
}

void MainWindow::applyFilterLook() {
    const appearance::ImageScale scale = look_.imageScale();
    cpp::windows::ImageList images(ImageList_Create(scale.side(), scale.side(), ILC_COLOR32, 8, 4));
    for (int id : {IDB_HIGHLIGHT, IDB_SHOW, IDB_SHOW_ONLY, IDB_HIDE, IDB_EXCLUDE, IDB_OPEN, IDB_PAUSED, IDB_STOPPED})
        ImageList_Add(images.get(), context_.images().bitmap(id, scale), nullptr);
    ListView_SetImageList(filterList_, images.get(), LVSIL_SMALL);
    SendMessageW(filterBox_, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images.get()));
    imageList_ = std::move(images);  // both controls share it and hold the previous one no longer

    const std::pair<UINT, int> bitmaps[] = {{ID_FILTER_HIGHLIGHT, IDB_HIGHLIGHT}, {ID_FILTER_SHOW, IDB_SHOW},
                                            {ID_FILTER_SHOW_ONLY, IDB_SHOW_ONLY}, {ID_FILTER_HIDE, IDB_HIDE},
                                            {ID_FILTER_EXCLUDE, IDB_EXCLUDE},     {ID_FILE_FILTER_SHOW, IDB_SHOW},
                                            {ID_FILE_FILTER_SHOW_ONLY, IDB_SHOW_ONLY}, {ID_FILE_FILTER_HIDE, IDB_HIDE},
                                            {ID_FILE_PAUSE, IDB_PAUSE},           {ID_FILE_RESUME, IDB_RESUME},
                                            {ID_FILE_STOP, IDB_STOPPED}};
    for (const HMENU menu : {filterMenu_.get(), fileMenu_.get()}) {
        for (const auto& [command, image] : bitmaps) {
            const HBITMAP bitmap = context_.images().bitmap(image, scale);
            SetMenuItemBitmaps(GetSubMenu(menu, 0), command, MF_BYCOMMAND, bitmap, bitmap);
        }
    }
}

void MainWindow::detachColourMenu() {
    for (const HMENU menu : {filterMenu_.get(), fileMenu_.get()}) {
        const HMENU popup = menu ? GetSubMenu(menu, 0) : nullptr;
        if (!popup) continue;
        const int colour = menu == filterMenu_.get() ? 6 : 2;
        MENUITEMINFOW info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_SUBMENU;
        info.hSubMenu = nullptr;
        SetMenuItemInfoW(popup, colour, TRUE, &info);
    }
}

LRESULT CALLBACK MainWindow::editProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = static_cast<MainWindow*>(GetPropW(edit, editOwner));
    if (!self) return DefWindowProcW(edit, message, wParam, lParam);
    if (message == WM_GETDLGCODE && wParam == VK_RETURN) return DLGC_WANTALLKEYS;
    if (message == WM_KEYDOWN && wParam == VK_RETURN) {
        // Enter saves the filter and ends the editing, whatever the control
        // does with its text on Enter; the box shows the fresh filter at once.
        const LRESULT result = CallWindowProcW(self->editDefault_, edit, message, wParam, lParam);
        self->editing_ = false;
        self->context_.document().addFilter();
        self->showInBox(L"", static_cast<int>(data::FilterKind::ShowOnly));
        return result;
    }
    if (message == WM_NCDESTROY) RemovePropW(edit, editOwner);
    return CallWindowProcW(self->editDefault_, edit, message, wParam, lParam);
}

void MainWindow::showInBox(const std::wstring& text, int image) {
    COMBOBOXEXITEMW item = {};
    item.mask = CBEIF_TEXT | CBEIF_IMAGE | CBEIF_SELECTEDIMAGE;
    item.iItem = -1;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = item.iSelectedImage = image;
    lastText_ = text;
    lastImage_ = image;
    SendMessageW(filterBox_, CBEM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    // Not every version of the control updates its edit field for item -1.
    if (const HWND edit = filterEdit()) SetWindowTextW(edit, text.c_str());
}

std::int32_t MainWindow::selectedFilterId() const {
    const int selected = ListView_GetNextItem(filterList_, -1, LVNI_SELECTED);
    return selected >= 0 && static_cast<std::size_t>(selected) < records_.size() ? records_[selected].filterId : 0;
}

void MainWindow::onFilterTextChanged() {
    // The edit field holds what was typed; the box's own text can lag behind it.
    wchar_t text[1025] = {};
    GetWindowTextW(filterEdit(), text, 1024);
    if (lastText_ == text) return;
    lastText_ = text;
    context_.document().setFilterText(String(lastText_));
}

int MainWindow::filterListHeight() {
    const int count = ListView_GetItemCount(filterList_);
    if (count == 0) return 0;
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(filterList_, LVM_GETITEMRECT, count - 1, reinterpret_cast<LPARAM>(&bounds));
    return std::min<int>(bounds.bottom + look_.px(5), look_.px(maximumListHeight));
}

void MainWindow::onUpdateFilters() {
    SendMessageW(filterList_, WM_SETREDRAW, FALSE, 0);
    ItemRecord remembered;
    const int selected = ListView_GetNextItem(filterList_, -1, LVNI_SELECTED);
    if (selected >= 0 && static_cast<std::size_t>(selected) < records_.size()) remembered = records_[selected];
    ListView_DeleteAllItems(filterList_);
    records_.clear();
    int select = -1;
    const auto add = [&](const String& text, int image, const ItemRecord& record) {
        const std::wstring wide = text.toWide();
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = static_cast<int>(records_.size());
        item.pszText = const_cast<wchar_t*>(wide.c_str());
        item.iImage = image;
        ListView_InsertItem(filterList_, &item);
        records_.push_back(record);
    };
    auto& viewer = context_.viewer();
    const auto& palette = look_.palette();
    if (showFiles_) {
        std::vector<const data::SourceInfo*> listed;
        for (const auto& [id, source] : viewer.sources()) listed.push_back(&source);
        std::sort(listed.begin(), listed.end(), [](auto a, auto b) { return a->place < b->place; });
        for (const data::SourceInfo* info : listed) {
            const data::SourceInfo& source = *info;
            const std::int32_t id = source.id;
            const int image = source.paused ? sourcePaused : source.reading ? sourceReading : sourceStopped;
            if (id == remembered.sourceId) select = static_cast<int>(records_.size());
            add(String::substitute("% (%)", source.name, source.lastLineNumber), image,
                ItemRecord{id, 0, toColorRef(palette.text), toColorRef(palette.tint(source.colour))});
        }
    }
    if (showFilters_) {
        const std::int32_t active = context_.document().activeFilterId();
        for (const auto& [id, filter] : viewer.filters()) {
            const int image = static_cast<int>(filter.kind);
            if (id == active) {
                const std::wstring text = filter.text.toWide();
                if (!editing_ && (text != lastText_ || image != lastImage_)) showInBox(text, image);
                if (filter.text.empty()) continue;
            }
            if (id == remembered.filterId) select = static_cast<int>(records_.size());
            add(String::substitute("% (%)", filter.text, filter.matchCount), image,
                ItemRecord{0, id, toColorRef(palette.dark ? palette.text : filter.textColour),
                           toColorRef(id == active ? palette.activeHighlight : palette.tint(filter.colour))});
        }
    }
    if (select >= 0) {
        ListView_SetItemState(filterList_, select, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(filterList_, select, FALSE);
    }
    SendMessageW(filterList_, WM_SETREDRAW, TRUE, 0);
    onSize();
}

LRESULT MainWindow::onFilterNotify(const NMHDR& header) {
    if (header.idFrom == IDC_FILTER_LIST) {
        switch (header.code) {
        case NM_CUSTOMDRAW: {
            auto& draw = *reinterpret_cast<NMLVCUSTOMDRAW*>(const_cast<NMHDR*>(&header));
            if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
            if (draw.nmcd.dwDrawStage == CDDS_ITEMPREPAINT && draw.nmcd.dwItemSpec < records_.size()) {
                const ItemRecord& record = records_[draw.nmcd.dwItemSpec];
                bool usable = true;
                if (record.filterId != 0) {
                    const auto& filters = context_.viewer().filters();
                    const auto found = filters.find(record.filterId);
                    usable = found == filters.end() || found->second.hasPattern;
                }
                SelectObject(draw.nmcd.hdc, context_.namedFont(usable ? "ui" : "ui-strikeout"));
                draw.clrText = record.text;
                draw.clrTextBk = record.background;
                return CDRF_NEWFONT;
            }
            return CDRF_DODEFAULT;
        }
        case NM_DBLCLK: {
            const int selected = ListView_GetNextItem(filterList_, -1, LVNI_SELECTED);
            if (selected >= 0 && static_cast<std::size_t>(selected) < records_.size() && records_[selected].filterId)
                context_.document().setActiveFilter(records_[selected].filterId);
            return 0;
        }
        case NM_RCLICK: openItemMenu(); return 0;
        default: return 0;
        }
    }
    if (header.idFrom == IDC_FILTER_BOX) {
        if (header.code == CBEN_BEGINEDIT) editing_ = true;
        if (header.code == CBEN_ENDEDITW || header.code == CBEN_ENDEDITA) {
            editing_ = false;
            if (reinterpret_cast<const NMCBEENDEDITW*>(&header)->iWhy == CBENF_RETURN) context_.document().addFilter();
        }
    }
    return 0;
}

void MainWindow::openItemMenu() {
    const int selected = ListView_GetNextItem(filterList_, -1, LVNI_SELECTED);
    if (selected < 0 || static_cast<std::size_t>(selected) >= records_.size()) return;
    const ItemRecord& record = records_[selected];
    POINT at;
    GetCursorPos(&at);
    at = onScreen(at);
    HMENU popup = nullptr;
    if (record.filterId) {
        popup = GetSubMenu(filterMenu_.get(), 0);
        const auto& filters = context_.viewer().filters();
        const auto found = filters.find(record.filterId);
        if (found == filters.end()) return;
        const int kind = static_cast<int>(found->second.kind);
        const UINT kinds[] = {ID_FILTER_HIGHLIGHT, ID_FILTER_SHOW, ID_FILTER_SHOW_ONLY, ID_FILTER_HIDE, ID_FILTER_EXCLUDE};
        for (int k = 0; k < 5; ++k) EnableMenuItem(popup, kinds[k], MF_BYCOMMAND | (k == kind ? MF_GRAYED : MF_ENABLED));
        const bool active = record.filterId == context_.document().activeFilterId();
        EnableMenuItem(popup, ID_FILTER_SELECT, MF_BYCOMMAND | (active ? MF_GRAYED : MF_ENABLED));
    } else {
        popup = GetSubMenu(fileMenu_.get(), 0);
        const auto& sources = context_.viewer().sources();
        const auto found = sources.find(record.sourceId);
        if (found == sources.end()) return;
        const bool reading = found->second.reading;
        const bool paused = found->second.paused;
        for (UINT command : {ID_FILE_FILTER_SHOW, ID_FILE_FILTER_SHOW_ONLY, ID_FILE_FILTER_HIDE})
            EnableMenuItem(popup, command, MF_BYCOMMAND | MF_GRAYED);
        EnableMenuItem(popup, 0, MF_BYPOSITION | MF_GRAYED);
        // Standard input cannot be read again from its start.
        const data::SourceInfo& source = found->second;
        const bool file = source.kind == data::Source::Kind::File;
        EnableMenuItem(popup, encodingPosition, MF_BYPOSITION | (file ? MF_ENABLED : MF_GRAYED));
        const HMENU encodings = GetSubMenu(popup, encodingPosition);
        const String automatic = !source.chosenEncoding && source.encoding
                                     ? String::substitute("&Automatic (%)", cpp::encodingName(*source.encoding))
                                     : String("&Automatic");
        ModifyMenuW(encodings, ID_FILE_ENCODING_AUTO, MF_BYCOMMAND | MF_STRING, ID_FILE_ENCODING_AUTO,
                    automatic.toWide().c_str());
        const auto chosen = std::find(std::begin(menuEncodings), std::end(menuEncodings), source.chosenEncoding);
        CheckMenuRadioItem(encodings, ID_FILE_ENCODING_AUTO, ID_FILE_ENCODING_ANSI,
                           ID_FILE_ENCODING_AUTO + static_cast<UINT>(chosen - std::begin(menuEncodings)), MF_BYCOMMAND);
        EnableMenuItem(popup, ID_FILE_PAUSE, MF_BYCOMMAND | (reading && !paused ? MF_ENABLED : MF_GRAYED));
        EnableMenuItem(popup, ID_FILE_RESUME, MF_BYCOMMAND | (reading && paused ? MF_ENABLED : MF_GRAYED));
        EnableMenuItem(popup, ID_FILE_STOP, MF_BYCOMMAND | (reading ? MF_ENABLED : MF_GRAYED));
    }
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, at.x, at.y, 0, handle(), nullptr);
}

void MainWindow::onItemCommand(UINT id) {
    const int selected = ListView_GetNextItem(filterList_, -1, LVNI_SELECTED);
    if (selected < 0 || static_cast<std::size_t>(selected) >= records_.size()) return;
    const ItemRecord record = records_[selected];
    auto& document = context_.document();
    const auto& filters = context_.viewer().filters();
    if (id >= firstColour && id < firstColour + 36) {
        const std::uint32_t colour = data::paletteColour(35 - static_cast<int>(id - firstColour));
        if (record.filterId) {
            const auto found = filters.find(record.filterId);
            if (found != filters.end()) document.updateFilter(record.filterId, found->second.kind, colour);
        } else if (record.sourceId) {
            document.setSourceColor(record.sourceId, colour);
        }
        return;
    }
    if (record.filterId) {
        const auto found = filters.find(record.filterId);
        if (found == filters.end()) return;
        switch (id) {
        case ID_FILTER_HIGHLIGHT:
        case ID_FILTER_SHOW:
        case ID_FILTER_SHOW_ONLY:
        case ID_FILTER_HIDE:
        case ID_FILTER_EXCLUDE: document.updateFilter(record.filterId, kindOfCommand(id), found->second.colour); break;
        case ID_FILTER_SELECT: document.setActiveFilter(record.filterId); break;
        case ID_FILTER_REMOVE:
            if (record.filterId == document.activeFilterId()) {
                document.setFilterText("", data::FilterKind::Show);
            } else {
                document.removeFilter(record.filterId);
            }
            break;
        default: break;
        }
        return;
    }
    if (id >= ID_FILE_ENCODING_AUTO && id <= ID_FILE_ENCODING_ANSI) {
        readAgain(record.sourceId, menuEncodings[id - ID_FILE_ENCODING_AUTO]);
        return;
    }
    switch (id) {
    case ID_FILE_PAUSE: document.pauseSource(record.sourceId); break;
    case ID_FILE_RESUME: document.resumeSource(record.sourceId); break;
    case ID_FILE_STOP: document.stopSource(record.sourceId); break;
    default: break;
    }
}

}  // namespace ui
