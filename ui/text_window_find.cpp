// Jumping to the next match of a filter and to a line number.
#include "resources/resource_ids.h"
#include "ui/text_window.h"

namespace ui {

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
        BOOL valid = FALSE;
        const UINT number = GetDlgItemInt(dialog, IDC_LINE_NUMBER, &valid, FALSE);
        *reinterpret_cast<std::int32_t*>(GetWindowLongPtrW(dialog, DWLP_USER)) =
            LOWORD(wParam) == IDOK && valid ? static_cast<std::int32_t>(number) : 0;
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

}  // namespace

void TextWindow::askGoToLine() {
    std::int32_t number = 0;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_GO_TO_LINE), GetAncestor(handle(), GA_ROOT),
                    goToLineProcedure, reinterpret_cast<LPARAM>(&number));
    if (number > 0) goToLine(number);
}

}  // namespace ui
