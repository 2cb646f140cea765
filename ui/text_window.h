#pragma once

#include <windows.h>

#include <memory>
#include <vector>

#include "document/document.h"
#include "document/viewer.h"
#include "foundation/time.h"
#include "foundation/win32/owners.h"
#include "ui/draw_context.h"
#include "ui/gdi_measure.h"
#include "ui/images.h"
#include "ui/panels.h"
#include "ui/safe_save.h"
#include "ui/text_popup.h"
#include "ui/window.h"

namespace ui {

// What the text window needs of the window around it.
class TextWindowHost : public PanelResources {
public:
    // Source bands are painted only while files are listed.
    virtual bool showsFiles() const = 0;
    // The caret shows only while the main window is active.
    virtual bool isActive() const = 0;
    // The filter box's edit control, which typed characters go to; may be null.
    virtual HWND filterEdit() const = 0;
    // The memory panel shows from the start only with --debug.
    virtual bool debugMode() const = 0;
    // The filter selected in the filter list; 0 when none is.
    virtual std::int32_t selectedFilterId() const { return 0; }
};

// Shows the document's display rows, with source bands, highlights, the
// selection, the caret and the line-number gutter, and turns keys and the
// mouse into the viewer's operations. It keeps no text or geometry itself.
class TextWindow : public Window {
public:
    static constexpr UINT_PTR blinkTimer = 1;
    static constexpr UINT_PTR refetchTimer = 2;
    static constexpr UINT_PTR dragTimer = 3;

    TextWindow(data::Document document, data::Viewer viewer, TextWindowHost& host);
    ~TextWindow() override;

    void create(HWND parent, const RECT& rect, UINT id);
    // The font of the text, made for `dpi`; the viewer measures with it.
    void setTextFont(HFONT font, int dpi);
    // Brushes, pens, the label font, the popup and the menu images for the
    // host's look.
    void applyLook();

    void onUpdateView();
    // Shows the position under the pointer in the status popup, or hides it.
    void updateStatusText(const data::TextCursor& cursor);
    UpdateWindow& updateNotice() { return updateNotice_; }
    // Shows the update notice without activating it, stacked in the corner.
    void showUpdateNotice(const cpp::String& downloadUrl);
    MemoryWindow& memoryWindow() { return memoryWindow_; }
    TextPopup& statusPopup() { return statusPopup_; }
    void onMouseWheel(int delta);
    void selectAll();
    void copySelection();
    void onFilterSelection(data::FilterKind kind);
    // Moves to the next (or previous) visible line that the active filter, or
    // else the filter selected in the list, matches; beeps when there is none.
    bool findMatch(bool forward);
    // Marks or unmarks the caret line, or each shown line of the selection.
    void toggleMarks();
    // Moves to the next (or previous) shown marked line; beeps when there is none.
    bool goToMark(bool forward);
    // Puts the marked lines, shown or not, on the clipboard.
    void copyMarkedLines();
    // Moves to a line number of the caret's source (or the nearest visible
    // line after it); beeps when there is none.
    bool goToLine(std::int32_t lineNumber);
    // What the Go to line dialog takes: a line number as goToLine does, or a
    // time (see data::readTimeQuery): the caret goes to the first shown line
    // at or after it. False, with a beep, when there is none or the text is neither.
    bool goTo(const cpp::String& typed);
    // The caret's line as its source and number; none in an empty view.
    std::optional<std::pair<std::int32_t, std::int32_t>> caretLine();
    // The caret at a line of a source, or the next shown one; false when there is none.
    bool showLine(std::int32_t sourceId, std::int32_t lineNumber);
    // Asks for a line number and goes there.
    void askGoToLine();
    // Throws when the target is open as a source or cannot be written; an
    // existing target then stays as it was. Lines that could not be read
    // are left out and named in the report.
    data::WriteReport saveSelectionTo(const cpp::FilePath& target);
    // A text the status popup shows beside the position until it is set
    // anew (empty: none).
    void setNotice(const cpp::String& text) { notice_ = text; }
    // "name : line : column" and "N lines (of M)", or nothing off the rows;
    // then the sources' faults and the notice.
    std::vector<cpp::String> statusItems(const data::TextCursor& cursor) const;

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void onCreate();
    void onSize();
    void onTimer(UINT_PTR id);
    void checkMissingText(bool tick);
    void stackPanels();
    void applyPopupRule();

    void paint(HDC dc, const RECT& clip);
    void paintLineBackground(DrawContext& draw, std::uint32_t row, const data::DisplayLine& line,
                             const data::TextCursor& caret, const data::TextCursor& start, const data::TextCursor& end);
    void paintSourceBand(DrawContext& draw, std::uint32_t first, std::uint32_t end, std::int32_t sourceId);
    void paintLineText(DrawContext& draw, std::uint32_t row, const data::DisplayLine& line, const data::TextCursor& caret);
    void paintLineHeader(DrawContext& draw, std::uint32_t row, const data::DisplayLine& line, bool startsLine);
    void paintProgress(DrawContext& draw, const RECT& client);
    int rowTop(std::uint32_t row) const;
    // Pixels from the row's first character to character `column` of the line.
    int offsetInRow(const data::DisplayLine& line, std::uint32_t column) const;

    void onScroll(int bar, int code);

    void onKeyDown(UINT key);
    void onChar(wchar_t character);
    void onMouse(UINT message, WPARAM flags, POINT point);
    void onDragTimer();
    void openContextMenu(POINT point);
    void saveSelection();
    WriteLines selectionWriter() const;
    // Writes the lines on a thread of its own, with progress, and puts them on
    // the clipboard once all are written; `bytes` is what they are expected to take.
    void putOnClipboard(HWND owner, std::uint64_t bytes, const WriteLines& write);
    void afterCaretMove(bool extend, bool scrollCaret = true);
    // Scrolls a display row into view with a few rows of context above it.
    void showWithContext(std::uint32_t row);
    // A plain click in the gutter marks or unmarks the line beside it; false
    // when the click is no such click.
    bool markInGutter(WPARAM flags, POINT point);
    // The caret at the start of a line of the store, shown with some context.
    void moveCaretToLine(std::uint32_t line);

    data::Document document_;
    data::Viewer viewer_;
    TextWindowHost& host_;
    UpdateWindow updateNotice_;
    MemoryWindow memoryWindow_;
    TextPopup statusPopup_;
    std::shared_ptr<GdiMeasure> measure_;
    HFONT textFont_ = nullptr;
    cpp::windows::Font labelFont_;
    int labelFontHeight_ = 0;
    cpp::windows::Menu contextMenu_;
    Look look_;
    cpp::windows::Brush lineBrush_, caretLineBrush_, continuationBrush_, gutterBrush_, recentGutterBrush_;
    cpp::windows::Brush markedLineBrush_, markBrush_;
    cpp::String notice_;
    bool markingClick_ = false;
    cpp::windows::Pen nullPen_, focusPen_, caretPen_;
    std::uint32_t recentRow_ = UINT32_MAX;
    // Pixels per step of the vertical scroll bar, whose range is an int, as
    // last set: a drag maps back with the step the bar was set up with.
    std::int64_t verticalScrollUnit_ = 1;
    bool caretVisible_ = true;
    bool wordMode_ = false;
    data::TextCursor wordStart_;
    data::TextCursor wordEnd_;
    cpp::Time lastUpdate_;
    bool refetchRunning_ = false;
};

}  // namespace ui
