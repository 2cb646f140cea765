#include <windows.h>

#include <algorithm>

#include "foundation/file.h"
#include "foundation/logger.h"
#include "foundation/utf8.h"
#include "resources/resource_ids.h"
#include "ui/clipboard_text.h"
#include "ui/progress_window.h"
#include "ui/safe_save.h"
#include "ui/text_window.h"

namespace ui {

using cpp::String;
using data::TextCursor;

namespace {

bool held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

void complain(const char* where, const std::exception& e) {
    cpp::logError(String::substitute("TextWindow::% : %", where, e.what()));
    MessageBeep(MB_ICONEXCLAMATION);
}

}  // namespace

void TextWindow::afterCaretMove(bool extend, bool scrollCaret) {
    if (!extend) viewer_.collapse();
    if (scrollCaret) viewer_.scrollCaretIntoView();
    viewer_.updateView();
}

void TextWindow::onScroll(int bar, int code) {
    try {
        const bool vertical = bar == SB_VERT;
        const int step = vertical ? static_cast<int>(viewer_.pitch()) : static_cast<int>(viewer_.metrics().charWidth);
        const int page = vertical ? viewer_.clientHeight() : viewer_.clientWidth();
        const std::int64_t current = vertical ? viewer_.scrollY() : viewer_.scrollX();
        std::int64_t position = current;
        switch (code) {
        case SB_LINEUP: position = current - step; break;
        case SB_LINEDOWN: position = current + step; break;
        case SB_PAGEUP: position = current - page; break;
        case SB_PAGEDOWN: position = current + page; break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
            SCROLLINFO info = {};
            info.cbSize = sizeof(info);
            info.fMask = SIF_TRACKPOS;
            GetScrollInfo(handle(), bar, &info);
            position = vertical ? info.nTrackPos * verticalScrollUnit_ : info.nTrackPos;
            break;
        }
        case SB_TOP: position = 0; break;
        case SB_BOTTOM: position = (vertical ? viewer_.contentHeight() : std::int64_t{viewer_.contentWidth()}) - page; break;
        default: return;
        }
        if (vertical) {
            viewer_.scrollTo(viewer_.scrollX(), position);
        } else {
            viewer_.scrollTo(static_cast<int>(std::clamp<std::int64_t>(position, 0, INT32_MAX)), viewer_.scrollY());
        }
    } catch (const std::exception& e) {
        complain("onScroll()", e);
    }
}

void TextWindow::onMouseWheel(int delta) {
    try {
        viewer_.scrollTo(viewer_.scrollX(), viewer_.scrollY() - static_cast<std::int16_t>(delta));
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("TextWindow::onMouseWheel() : %", e.what()));
    }
}

void TextWindow::onKeyDown(UINT key) {
    try {
        const bool control = held(VK_CONTROL);
        const bool shift = held(VK_SHIFT);
        const int pitch = static_cast<int>(viewer_.pitch());
        const int pageRows = std::max(viewer_.clientHeight() / pitch, 1);
        const auto caretRow = [&] { return document_.toDisplayCursor(viewer_.caret(), viewer_.wrap()); };
        switch (key) {
        case VK_TAB: {
            const HWND next = GetNextDlgTabItem(GetParent(handle()), handle(), shift);
            if (next) SetFocus(next);
            return;
        }
        case VK_PRIOR:
        case VK_NEXT: {
            const int direction = key == VK_PRIOR ? -1 : 1;
            if (control) {
                viewer_.scrollTo(viewer_.scrollX(), viewer_.scrollY() + direction * viewer_.clientHeight());
                return;
            }
            viewer_.moveCaretByRows(direction * pageRows);
            break;
        }
        case VK_END:
            if (control) {
                if (viewer_.rowCount() == 0) return;
                const std::uint32_t last = viewer_.rowCount() - 1;
                const auto& row = viewer_.row(last, false);
                viewer_.setCaret(TextCursor(last, row.segmentEnd - std::min(row.segmentStart, row.segmentEnd)));
                viewer_.scrollTo(viewer_.scrollX(), viewer_.contentHeight() - viewer_.clientHeight());
                afterCaretMove(shift, false);
                return;
            } else {
                const TextCursor at = caretRow();
                if (viewer_.rowCount() == 0) return;
                const auto& row = viewer_.row(at.row, false);
                const std::uint32_t length = row.segmentEnd - std::min(row.segmentStart, row.segmentEnd);
                viewer_.moveCaretByCharacters(static_cast<int>(length) - static_cast<int>(at.column), false);
            }
            break;
        case VK_HOME:
            if (control) {
                viewer_.setCaret(TextCursor(0, 0));
            } else {
                viewer_.moveCaretByCharacters(-static_cast<int>(caretRow().column), false);
            }
            break;
        case VK_LEFT: viewer_.moveCaretByCharacters(-1, true); break;
        case VK_RIGHT: viewer_.moveCaretByCharacters(1, true); break;
        case VK_UP:
        case VK_DOWN: {
            const int direction = key == VK_UP ? -1 : 1;
            if (control) {
                viewer_.scrollTo(viewer_.scrollX(), viewer_.scrollY() + direction * pitch);
                return;
            }
            viewer_.moveCaretByRows(direction);
            break;
        }
        case 'A':
            if (control) selectAll();
            return;
        case 'C':
            if (control) copySelection();
            return;
        case 'F':
            if (!control) return;
            if (viewer_.caret() != viewer_.anchor()) {
                onFilterSelection(data::FilterKind::Highlight);
            } else if (const HWND edit = host_.filterEdit()) {
                // Nothing selected: what the user typed stays, ready to be changed.
                SetFocus(edit);
                SendMessageW(edit, EM_SETSEL, 0, -1);
            }
            return;
        case VK_F1: SendMessageW(GetAncestor(handle(), GA_ROOT), WM_COMMAND, ID_HELP, 0); return;
        case VK_F3: findMatch(!shift); return;
        case VK_F2:
            if (control) {
                toggleMarks();
            } else {
                goToMark(!shift);
            }
            return;
        case 'G':
            if (control) askGoToLine();
            return;
        default: return;
        }
        afterCaretMove(shift);
    } catch (const std::exception& e) {
        complain("onKeyDown()", e);
    }
}

void TextWindow::onChar(wchar_t character) {
    const HWND edit = host_.filterEdit();
    switch (character) {
    case 8:
        if (edit) {
            SetWindowTextW(edit, L"");
            SetFocus(edit);
        }
        return;
    case 27:
        if (edit) SetWindowTextW(edit, L"");
        return;
    case 13: document_.addFilter(); return;
    default: break;
    }
    if (character < 32 || !edit) return;
    const wchar_t text[2] = {character, 0};
    SetWindowTextW(edit, text);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 1, 1);
}

void TextWindow::onMouse(UINT message, WPARAM flags, POINT point) {
    try {
        switch (message) {
        case WM_LBUTTONDOWN:
            markingClick_ = false;
            if (markInGutter(flags, point)) break;
            // The drag gets the button's release wherever it happens.
            wordMode_ = false;
            SetCapture(handle());
            SetTimer(handle(), dragTimer, 20, nullptr);
            if (GetFocus() != handle()) SetFocus(handle());
            viewer_.setCaret(viewer_.positionAt(point.x, point.y));
            if (!(flags & MK_SHIFT)) viewer_.collapse();
            viewer_.updateView();
            InvalidateRect(handle(), nullptr, FALSE);
            break;
        case WM_MOUSEMOVE: {
            const TextCursor at = viewer_.positionAt(point.x, point.y);
            if (GetFocus() == handle() && flags == MK_LBUTTON && !markingClick_) {
                if (!wordMode_) {
                    viewer_.setCaret(at);
                } else {
                    const TextCursor anchor = document_.toDisplayCursor(viewer_.anchor(), viewer_.wrap());
                    const TextCursor caret = document_.toDisplayCursor(viewer_.caret(), viewer_.wrap());
                    if (at < wordStart_) {
                        if (!(caret == at && anchor == wordEnd_)) {
                            viewer_.setAnchor(wordEnd_);
                            viewer_.setCaret(at);
                        }
                    } else if (wordEnd_ < at) {
                        if (!(caret == at && anchor == wordStart_)) {
                            viewer_.setAnchor(wordStart_);
                            viewer_.setCaret(at);
                        }
                    } else if (!(anchor == wordStart_ && caret == wordEnd_)) {
                        viewer_.setAnchor(wordStart_);
                        viewer_.setCaret(wordEnd_);
                    }
                }
                viewer_.updateView();
                InvalidateRect(handle(), nullptr, FALSE);
            }
            updateStatusText(at);
            break;
        }
        case WM_LBUTTONUP:
            wordMode_ = false;
            markingClick_ = false;
            KillTimer(handle(), dragTimer);
            if (GetCapture() == handle()) ReleaseCapture();
            break;
        case WM_LBUTTONDBLCLK:
            // A second click in the gutter comes as a double click: it unmarks.
            if (markInGutter(flags, point)) break;
            SetCapture(handle());
            SetTimer(handle(), dragTimer, 20, nullptr);
            viewer_.selectWord();
            wordStart_ = document_.toDisplayCursor(viewer_.anchor(), viewer_.wrap());
            wordEnd_ = document_.toDisplayCursor(viewer_.caret(), viewer_.wrap());
            wordMode_ = true;
            viewer_.updateView();
            InvalidateRect(handle(), nullptr, FALSE);
            break;
        case WM_RBUTTONUP: {
            const TextCursor at = viewer_.positionAt(point.x, point.y);
            if (at < viewer_.selectionStart() || viewer_.selectionEnd() < at) {
                viewer_.setCaret(at);
                viewer_.collapse();
                viewer_.updateView();
                InvalidateRect(handle(), nullptr, FALSE);
            }
            openContextMenu(point);
            break;
        }
        default: break;
        }
    } catch (const std::exception& e) {
        cpp::logError(String::substitute("TextWindow::onMouse() : %", e.what()));
    }
}

bool TextWindow::markInGutter(WPARAM flags, POINT point) {
    // Shift and Ctrl keep extending the selection from the gutter.
    if (point.x >= viewer_.gutterWidth() || (flags & (MK_SHIFT | MK_CONTROL)) != 0 || viewer_.rowCount() == 0) return false;
    const std::int64_t y = viewer_.scrollY() + point.y;
    if (y < 0 || y >= static_cast<std::int64_t>(viewer_.rowCount()) * viewer_.pitch()) return true;  // below the text
    if (GetFocus() != handle()) SetFocus(handle());
    viewer_.setCaret(TextCursor(viewer_.positionAt(point.x, point.y).row, 0));
    viewer_.collapse();
    toggleMarks();
    markingClick_ = true;  // the rest of the click selects nothing
    SetCapture(handle());  // so that its release ends it wherever it happens
    viewer_.updateView();
    InvalidateRect(handle(), nullptr, FALSE);
    return true;
}

void TextWindow::onDragTimer() {
    try {
        if (!(GetAsyncKeyState(GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON) & 0x8000)) {
            KillTimer(handle(), dragTimer);
            return;
        }
        POINT point;
        GetCursorPos(&point);
        ScreenToClient(handle(), &point);
        RECT client;
        GetClientRect(handle(), &client);
        const TextCursor at = document_.toDisplayCursor(viewer_.caret(), viewer_.wrap());
        if (point.x < client.left && at.column > 0) {
            viewer_.moveCaretByCharacters(-1, false);
        } else if (point.x >= client.right) {
            viewer_.moveCaretByCharacters(1, false);
        } else if (point.y < client.top) {
            viewer_.moveCaretByRows(-1);
        } else if (point.y >= client.bottom) {
            viewer_.moveCaretByRows(1);
        } else {
            return;
        }
        viewer_.scrollCaretIntoView();
        viewer_.updateView();
    } catch (const std::exception& e) {
        cpp::logError(String(e.what()));
    }
}

void TextWindow::openContextMenu(POINT point) {
    if (!contextMenu_) return;
    const HMENU popup = GetSubMenu(contextMenu_.get(), 0);
    const bool selected = viewer_.caret() != viewer_.anchor();
    const bool oneLine = selected && viewer_.caret().row == viewer_.anchor().row;
    for (UINT command : {ID_SELECTION_HIGHLIGHT, ID_SELECTION_SHOW, ID_SELECTION_SHOW_ONLY, ID_SELECTION_HIDE,
                         ID_SELECTION_EXCLUDE})
        EnableMenuItem(popup, command, MF_BYCOMMAND | (oneLine ? MF_ENABLED : MF_GRAYED));
    EnableMenuItem(popup, 0, MF_BYPOSITION | (oneLine ? MF_ENABLED : MF_GRAYED));
    for (UINT command : {ID_COPY_SELECTION, ID_SAVE_SELECTION})
        EnableMenuItem(popup, command, MF_BYCOMMAND | (selected ? MF_ENABLED : MF_GRAYED));
    const bool marked = document_.markCount() > 0;
    for (UINT command : {ID_NEXT_MARK, ID_PREVIOUS_MARK, ID_CLEAR_MARKS, ID_COPY_MARKED_LINES})
        EnableMenuItem(popup, command, MF_BYCOMMAND | (marked ? MF_ENABLED : MF_GRAYED));
    ClientToScreen(handle(), &point);
    point = onScreen(point);
    TrackPopupMenu(popup, TPM_RIGHTBUTTON, point.x, point.y, 0, handle(), nullptr);
}

void TextWindow::selectAll() {
    try {
        if (viewer_.rowCount() == 0) return;
        viewer_.setCaret(TextCursor(0, 0));
        viewer_.setAnchor(TextCursor(0, 0));
        const std::uint32_t last = viewer_.rowCount() - 1;
        const auto& row = viewer_.row(last, false);
        viewer_.setCaret(TextCursor(last, row.segmentEnd - std::min(row.segmentStart, row.segmentEnd)));
        viewer_.scrollCaretIntoView();
        viewer_.updateView();
    } catch (const std::exception& e) {
        complain("selectAll( )", e);
    }
}

namespace {

// More than this asks before it goes to the clipboard.
constexpr std::uint64_t largeCopy = 64u << 20;

}  // namespace

// The text is measured and read on a thread of its own, with progress, and
// complete before the clipboard opens, so a failure leaves the clipboard as
// it was.
void TextWindow::copySelection() {
    const TextCursor start = std::min(viewer_.caret(), viewer_.anchor());
    const TextCursor end = std::max(viewer_.caret(), viewer_.anchor());
    data::Document document = document_;
    const HWND owner = GetAncestor(handle(), GA_ROOT);
    try {
        std::uint64_t bytes = 0;
        if (start < end) {
            runWithProgress(owner, host_, "Measuring the selection", [&](const data::Document::WriteProgress& progress) {
                const auto measured = document.selectionBytes(start, end, progress);
                if (!measured) throw CancelledException();
                bytes = *measured;
            });
            if (bytes > largeCopy) {
                const String question = String::substitute(
                    "The selection holds % of text, more than the clipboard holds with ease.\n\n"
                    "Copy it anyway? Choose No to save it to a file instead.",
                    formatBytes(bytes));
                const int answer = MessageBoxW(owner, question.toWide().c_str(), L"Copy", MB_YESNOCANCEL | MB_ICONQUESTION);
                if (answer == IDNO) saveSelection();
                if (answer != IDYES) return;
            }
        }
        // Nothing selected empties the clipboard.
        putOnClipboard(owner, bytes,
                       start < end ? selectionWriter()
                                   : WriteLines([](const cpp::Output&, const data::Document::WriteProgress&) {
                                         return data::WriteReport();
                                     }));
    } catch (const CancelledException&) {
    } catch (const std::exception& e) {
        complain("copySelection()", e);
    }
}

void TextWindow::putOnClipboard(HWND owner, std::uint64_t bytes, const WriteLines& write) {
    cpp::windows::GlobalMemory memory;
    data::WriteReport report;
    runWithProgress(owner, host_, "Copying", [&](const data::Document::WriteProgress& progress) {
        auto text = std::make_shared<ClipboardText>(bytes);
        report = write(cpp::Output(text), progress);
        if (report.cancelled) throw CancelledException();
        memory.reset(text->take());
    });
    if (!OpenClipboard(handle())) throw cpp::Exception("The clipboard is in use");
    EmptyClipboard();
    // The clipboard owns the memory once it took it.
    if (SetClipboardData(CF_UNICODETEXT, memory.get())) memory.release();
    CloseClipboard();
    tellUnreadable(owner, report, viewer_.sources());
}

void TextWindow::toggleMarks() {
    try {
        const data::TextCursor start = std::min(viewer_.caret(), viewer_.anchor());
        const data::TextCursor end = std::max(viewer_.caret(), viewer_.anchor());
        if (viewer_.rowCount() == 0) return;
        if (!document_.toggleMarks(start.row, end.row)) {
            MessageBoxW(GetAncestor(handle(), GA_ROOT),
                        String::substitute("At most % lines are marked or unmarked at once.", data::Document::markLimit)
                            .toWide()
                            .c_str(),
                        L"Mark Lines", MB_OK | MB_ICONINFORMATION);
        }
    } catch (const std::exception& e) {
        complain("toggleMarks()", e);
    }
}

void TextWindow::copyMarkedLines() {
    data::Document document = document_;
    try {
        if (document.markCount() == 0) {
            MessageBeep(MB_OK);
            return;
        }
        putOnClipboard(GetAncestor(handle(), GA_ROOT), 0,
                       [document](const cpp::Output& output, const data::Document::WriteProgress& progress) mutable {
                           return document.writeMarkedLines(output, progress);
                       });
    } catch (const CancelledException&) {
    } catch (const std::exception& e) {
        complain("copyMarkedLines()", e);
    }
}

void TextWindow::onFilterSelection(data::FilterKind kind) {
    try {
        document_.setFilterText(viewer_.textOfSelection(), kind);
    } catch (const std::exception& e) {
        complain("onFilterSelection()", e);
    }
}

WriteLines TextWindow::selectionWriter() const {
    const TextCursor start = std::min(viewer_.caret(), viewer_.anchor());
    const TextCursor end = std::max(viewer_.caret(), viewer_.anchor());
    data::Document document = document_;
    return [document, start, end](const cpp::Output& output, const data::Document::WriteProgress& progress) mutable {
        return document.writeSelection(output, start, end, progress);
    };
}

void TextWindow::saveSelection() {
    saveWithDialog(GetAncestor(handle(), GA_ROOT), host_, viewer_.sources(), selectionWriter());
}

data::WriteReport TextWindow::saveSelectionTo(const cpp::FilePath& target) {
    return saveWithProgress(GetAncestor(handle(), GA_ROOT), host_, target, viewer_.sources(), selectionWriter());
}

}  // namespace ui
