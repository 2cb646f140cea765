// Jumping to the next match of a filter, to a line number and to a time.
#include "resources/resource_ids.h"
#include "ui/text_window.h"

namespace ui {

using cpp::String;
using data::TextCursor;

void TextWindow::showWithContext(std::uint32_t row) {
    const std::uint32_t pitch = viewer_.pitch();
    const auto top = static_cast<std::uint32_t>(viewer_.scrollY() / pitch);
    const std::uint32_t rows = std::max<std::uint32_t>(static_cast<std::uint32_t>(viewer_.clientHeight()) / pitch, 1);
    if (row < top || row >= top + rows)
        viewer_.scrollTo(viewer_.scrollX(), static_cast<std::int64_t>(row > 3 ? row - 3 : 0) * pitch);
}

bool TextWindow::findMatch(bool forward) {
    std::int32_t filter = document_.activeFilterId();
    if (!document_.filterTakesPart(filter)) filter = host_.selectedFilterId();
    const auto line = filter != 0 && document_.filterTakesPart(filter)
                          ? document_.nextMatch(filter, viewer_.caret().row, forward)
                          : std::nullopt;
    if (!line) {
        MessageBeep(MB_OK);
        return false;
    }
    const auto match = document_.firstMatchIn(filter, *line).value_or(std::make_pair(0u, 0u));
    const bool wrap = viewer_.wrap();
    const TextCursor start = document_.toDisplayCursor(TextCursor(*line, match.first), wrap);
    const TextCursor end = document_.toDisplayCursor(TextCursor(*line, match.first + match.second, true), wrap);
    viewer_.setAnchor(start);
    viewer_.setCaret(end);
    showWithContext(start.row);
    viewer_.scrollCaretIntoView();
    viewer_.updateView();
    return true;
}

void TextWindow::moveCaretToLine(std::uint32_t line) {
    const TextCursor start = document_.toDisplayCursor(TextCursor(line, 0), viewer_.wrap());
    viewer_.setCaret(start);
    viewer_.collapse();
    showWithContext(start.row);
    viewer_.scrollCaretIntoView();
    viewer_.updateView();
}

bool TextWindow::goToMark(bool forward) {
    const auto line = document_.nextMark(viewer_.caret().row, forward);
    if (!line) {
        MessageBeep(MB_OK);
        return false;
    }
    moveCaretToLine(*line);
    return true;
}

bool TextWindow::goToLine(std::int32_t lineNumber) {
    const auto& sources = viewer_.sources();
    if (sources.empty()) {
        MessageBeep(MB_OK);
        return false;
    }
    const auto caret = caretLine();
    if (!showLine(caret ? caret->first : sources.begin()->first, lineNumber)) {
        MessageBeep(MB_OK);
        return false;
    }
    return true;
}

std::optional<std::pair<std::int32_t, std::int32_t>> TextWindow::caretLine() {
    if (viewer_.rowCount() == 0) return std::nullopt;
    const TextCursor at = document_.toDisplayCursor(viewer_.caret(), viewer_.wrap());
    const data::TextEntry entry = viewer_.row(at.row, false).entry;
    return std::make_pair(static_cast<std::int32_t>(entry.sourceId), entry.lineNumber);
}

bool TextWindow::showLine(std::int32_t sourceId, std::int32_t lineNumber) {
    const auto line = document_.visibleLineAt(sourceId, lineNumber);
    if (line) moveCaretToLine(*line);
    return line.has_value();
}

namespace {

INT_PTR CALLBACK goToLineProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (LOWORD(wParam) == IDOK) {
            const HWND edit = GetDlgItem(dialog, IDC_LINE_NUMBER);
            std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            text.resize(static_cast<std::size_t>(GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
            *reinterpret_cast<std::optional<String>*>(GetWindowLongPtrW(dialog, DWLP_USER)) = String(text);
        }
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void TextWindow::askGoToLine() {
    std::optional<String> typed;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_GO_TO_LINE), GetAncestor(handle(), GA_ROOT),
                    goToLineProcedure, reinterpret_cast<LPARAM>(&typed));
    if (typed) goTo(*typed);
}

bool TextWindow::goTo(const String& typed) {
    std::string text = typed;
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    if (!text.empty() && text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos) {
        const auto number = static_cast<std::int32_t>(std::stol(text));
        if (number > 0) return goToLine(number);
    } else if (const auto moment = data::readTimeQuery(text)) {
        if (const auto line = document_.lineAtTime(*moment)) {
            moveCaretToLine(*line);
            return true;
        }
    }
    MessageBeep(MB_OK);
    return false;
}

}  // namespace ui
