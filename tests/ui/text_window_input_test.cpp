#include <gtest/gtest.h>

#include "appearance/theme.h"
#include "foundation/file.h"
#include "resources/resource_ids.h"
#include "test_files.h"
#include "ui_harness.h"

using cpp::String;
using data::TextCursor;
using testing_support::TextWindowHostForTests;

namespace {

// Sends a key with Shift and Ctrl held as asked.
void press(HWND window, UINT key, bool shift = false, bool control = false) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    state[VK_CONTROL] = control ? 0x80 : 0;
    SetKeyboardState(state);
    SendMessageW(window, WM_KEYDOWN, key, 0);
    state[VK_SHIFT] = 0;
    state[VK_CONTROL] = 0;
    SetKeyboardState(state);
}

String clipboardText(HWND owner) {
    String text;
    if (!OpenClipboard(owner)) return "<clipboard busy>";
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = String(std::wstring(wide));
            GlobalUnlock(data);
        }
    } else {
        text = "<no text>";
    }
    CloseClipboard();
    return text;
}

// A host over one file of numbered lines, and the point of a character.
struct InputUnderTest {
    testing_support::TemporaryFolder folder;
    TextWindowHostForTests host;

    explicit InputUnderTest(const std::vector<std::string>& texts) {
        std::string text;
        for (const auto& line : texts) text += line + "\r\n";
        testing_support::writeFile(folder.file("app.log"), text);
        host.document().openFile(folder.file("app.log"));
        EXPECT_TRUE(host.waitForLines(texts.size()));
        host.viewer().scrollTo(0, 0);
        host.pumpUntil([] { return false; }, 0);
    }
    HWND window() const { return host.textHandle(); }
    data::Viewer& viewer() { return host.viewer(); }
    LPARAM pointOf(std::uint32_t row, std::uint32_t column) {
        const auto& line = viewer().row(row, true);
        const int x = viewer().textOriginX(line) + static_cast<int>(column * viewer().metrics().charWidth) +
                      static_cast<int>(viewer().metrics().charWidth / 4);
        const int y = static_cast<int>(row * viewer().pitch()) - viewer().scrollY() + 3;
        return MAKELPARAM(x, y);
    }
    void settle() { host.pumpUntil([] { return false; }, 0); }
};

std::vector<std::string> numbered(int count) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) texts.push_back("line number " + std::to_string(i));
    return texts;
}

}  // namespace

TEST(TextWindowInput, KeysMoveTheCaretAndScroll) {
    ASSERT_TRUE(testing_support::comReady());
    InputUnderTest t(numbered(200));
    auto& viewer = t.viewer();
    const int pitch = static_cast<int>(viewer.pitch());

    press(t.window(), VK_DOWN, true);
    EXPECT_EQ(viewer.caret(), TextCursor(1, 0));
    EXPECT_EQ(viewer.anchor(), TextCursor(0, 0)) << "Shift+Down extends";
    press(t.window(), VK_DOWN);
    EXPECT_EQ(viewer.caret(), TextCursor(2, 0));
    EXPECT_EQ(viewer.anchor(), TextCursor(2, 0)) << "Down collapses";

    press(t.window(), VK_END);
    EXPECT_EQ(viewer.caret(), TextCursor(2, 13));
    press(t.window(), VK_HOME);
    EXPECT_EQ(viewer.caret(), TextCursor(2, 0));

    viewer.scrollTo(0, 10 * pitch);
    press(t.window(), VK_UP, false, true);
    EXPECT_EQ(viewer.scrollY(), 9 * pitch) << "Ctrl+Up scrolls one row";
    EXPECT_EQ(viewer.caret(), TextCursor(2, 0)) << "and leaves the caret";

    SendMessageW(t.window(), WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(-120)), 0);
    EXPECT_EQ(viewer.scrollY(), 9 * pitch + 120) << "a notch down is 120 pixels";

    press(t.window(), VK_END, false, true);
    EXPECT_EQ(viewer.caret(), TextCursor(199, 15));
    EXPECT_EQ(viewer.scrollY(), viewer.contentHeight() - viewer.clientHeight());
    press(t.window(), VK_HOME, false, true);
    EXPECT_EQ(viewer.caret(), TextCursor(0, 0));

    // Shorter than one row, Page Down still moves by one.
    t.host.resizeText(400, pitch / 2);
    press(t.window(), VK_NEXT);
    EXPECT_EQ(viewer.caret(), TextCursor(1, 0));
}

TEST(TextWindowInput, MouseSelectsWordsAndTheClipboardGetsExactlyTheSelection) {
    InputUnderTest t({"see foo.bar/baz:1 here", "second line", "third"});
    auto& viewer = t.viewer();
    const LPARAM word = t.pointOf(0, 6);
    SendMessageW(t.window(), WM_LBUTTONDOWN, MK_LBUTTON, word);
    SendMessageW(t.window(), WM_LBUTTONUP, 0, word);
    SendMessageW(t.window(), WM_LBUTTONDBLCLK, MK_LBUTTON, word);
    SendMessageW(t.window(), WM_LBUTTONUP, 0, word);
    EXPECT_EQ(viewer.selectedText(), "foo.bar/baz:1");

    SendMessageW(t.window(), WM_KEYDOWN, 'C', 0);  // without Ctrl nothing happens
    press(t.window(), 'C', false, true);
    EXPECT_EQ(clipboardText(t.window()), "foo.bar/baz:1");

    viewer.setAnchor(TextCursor(0, 18));
    viewer.setCaret(TextCursor(2, 2));
    press(t.window(), 'C', false, true);
    EXPECT_EQ(clipboardText(t.window()), "here\r\nsecond line\r\nth");

    viewer.collapse();
    press(t.window(), 'C', false, true);
    EXPECT_EQ(clipboardText(t.window()), "") << "an empty selection copies an empty text";

    // A right click inside the selection keeps it; outside it moves the caret.
    viewer.setAnchor(TextCursor(1, 0));
    viewer.setCaret(TextCursor(1, 6));
    const auto closeMenuSoon = [] { SetTimer(nullptr, 0, 150, [](HWND, UINT, UINT_PTR id, DWORD) {
                                        KillTimer(nullptr, id);
                                        EndMenu();
                                    }); };
    closeMenuSoon();
    SendMessageW(t.window(), WM_RBUTTONUP, 0, t.pointOf(1, 3));
    EXPECT_EQ(viewer.anchor(), TextCursor(1, 0));
    EXPECT_EQ(viewer.caret(), TextCursor(1, 6));
    closeMenuSoon();
    SendMessageW(t.window(), WM_RBUTTONUP, 0, t.pointOf(2, 1));
    EXPECT_EQ(viewer.caret(), TextCursor(2, 1));
    EXPECT_EQ(viewer.anchor(), TextCursor(2, 1));

    // A double-click drag whose release lands outside the window: the mouse
    // was captured, and the next plain drag selects by characters again.
    SendMessageW(t.window(), WM_LBUTTONDBLCLK, MK_LBUTTON, word);
    EXPECT_EQ(GetCapture(), t.window()) << "the drag owns the mouse";
    SendMessageW(t.window(), WM_LBUTTONDOWN, MK_LBUTTON, t.pointOf(1, 1));
    SendMessageW(t.window(), WM_MOUSEMOVE, MK_LBUTTON, t.pointOf(1, 3));
    SendMessageW(t.window(), WM_LBUTTONUP, 0, t.pointOf(1, 3));
    EXPECT_EQ(viewer.anchor(), TextCursor(1, 1));
    EXPECT_EQ(viewer.caret(), TextCursor(1, 3)) << "not snapped to a word";
    EXPECT_EQ(GetCapture(), nullptr) << "released with the button";

    // Typing goes to the filter box.
    SendMessageW(t.window(), WM_CHAR, L'x', 0);
    wchar_t typed[8] = {};
    GetWindowTextW(t.host.filterEdit(), typed, 8);
    EXPECT_STREQ(typed, L"x");
    SendMessageW(t.window(), WM_CHAR, 27, 0);
    GetWindowTextW(t.host.filterEdit(), typed, 8);
    EXPECT_STREQ(typed, L"");

    // Ctrl+F with nothing selected goes to the filter box and keeps its text.
    SetWindowTextW(t.host.filterEdit(), L"typed");
    viewer.collapse();
    SetFocus(t.window());
    press(t.window(), 'F', false, true);
    GetWindowTextW(t.host.filterEdit(), typed, 8);
    EXPECT_STREQ(typed, L"typed");
    EXPECT_EQ(GetFocus(), t.host.filterEdit());
    DWORD selectedFrom = 9, selectedTo = 9;
    SendMessageW(t.host.filterEdit(), EM_GETSEL, reinterpret_cast<WPARAM>(&selectedFrom), reinterpret_cast<LPARAM>(&selectedTo));
    EXPECT_EQ(selectedFrom, 0u);
    EXPECT_EQ(selectedTo, 5u) << "its text is selected, to be typed over";
}

// Ctrl+F2 marks the caret line or each line of a selection, a click in the
// gutter the line beside it; F2 walks the shown marks, and the marked lines
// are copied, hidden or not.
TEST(TextWindowInput, MarksAreSetWalkedAndCopied) {
    InputUnderTest t(numbered(20));
    auto& viewer = t.viewer();
    viewer.setCaret(TextCursor(3, 4));
    viewer.collapse();
    press(t.window(), VK_F2, false, true);
    const int gutterX = viewer.gutterWidth() / 2;
    const int row7 = static_cast<int>(7 * viewer.pitch()) + 3;
    SendMessageW(t.window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(gutterX, row7));
    SendMessageW(t.window(), WM_LBUTTONUP, 0, MAKELPARAM(gutterX, row7));
    viewer.setAnchor(TextCursor(10, 0));
    viewer.setCaret(TextCursor(11, 2));
    press(t.window(), VK_F2, false, true);
    EXPECT_EQ(t.host.document().markCount(), 4u);

    t.host.document().setFilterText("number 7$", data::FilterKind::Hide);
    ASSERT_TRUE(t.host.pumpUntil([&] { return t.host.document().isIdle() && viewer.status().visibleLines == 19; }));
    viewer.setCaret(TextCursor(0, 0));
    viewer.collapse();
    std::vector<std::uint32_t> walked;
    for (int i = 0; i < 3; ++i) {
        press(t.window(), VK_F2);
        walked.push_back(viewer.caret().row);
    }
    EXPECT_EQ(walked, (std::vector<std::uint32_t>{3, 10, 11})) << "the hidden line 7 is skipped";
    press(t.window(), VK_F2, true);
    EXPECT_EQ(viewer.caret().row, 10u);

    SendMessageW(t.window(), WM_COMMAND, ID_COPY_MARKED_LINES, 0);
    EXPECT_EQ(clipboardText(t.window()), "line number 3\r\nline number 7\r\nline number 10\r\nline number 11");

    viewer.scrollTo(0, 0);
    t.settle();
    const auto painted = testing_support::capture(t.window());
    const auto& palette = appearance::palette(false);
    EXPECT_EQ(painted.at(1, static_cast<int>(3 * viewer.pitch()) + 2), palette.mark & 0xFFFFFF) << "the gutter's sign";
    EXPECT_EQ(painted.at(viewer.clientWidth() - 40, static_cast<int>(10 * viewer.pitch()) + 2),
              palette.markedLine & 0xFFFFFF) << "the tint of line 11, shown in row 10";
    SendMessageW(t.window(), WM_COMMAND, ID_CLEAR_MARKS, 0);
    EXPECT_EQ(t.host.document().markCount(), 0u);
}

TEST(TextWindowInput, SavingTheSelectionNeverDestroysAFile) {
    InputUnderTest t({"first line", "second line"});
    auto& viewer = t.viewer();
    viewer.setAnchor(TextCursor(0, 0));
    viewer.setCaret(TextCursor(1, 6));
    const cpp::FilePath source = t.folder.file("app.log");
    const std::string before = "first line\r\nsecond line\r\n";
    EXPECT_THROW(t.host.text().saveSelectionTo(source), cpp::Exception) << "the viewed log is not a target";
    testing_support::writeFile(t.folder.file("original.txt"), before);
    EXPECT_TRUE(cpp::File::equal(source, t.folder.file("original.txt"))) << "byte for byte unchanged";

    const cpp::FilePath target = t.folder.file("saved.txt");
    t.host.text().saveSelectionTo(target);
    testing_support::writeFile(t.folder.file("expected.txt"), "first line\r\nsecond");
    EXPECT_TRUE(cpp::File::equal(target, t.folder.file("expected.txt")));

    // A save that cannot finish leaves the old file as it was, and no leftover.
    viewer.setCaret(TextCursor(1, 11));
    CreateDirectoryW(t.folder.file("saved.txt.saving").toNative().toWide().c_str(), nullptr);
    EXPECT_THROW(t.host.text().saveSelectionTo(target), cpp::Exception) << "something is in the way";
    EXPECT_TRUE(cpp::File::equal(target, t.folder.file("expected.txt")));
    EXPECT_TRUE(cpp::File::exists(t.folder.file("saved.txt.saving"))) << "what was in the way stays";
    RemoveDirectoryW(t.folder.file("saved.txt.saving").toNative().toWide().c_str());
    const cpp::FilePath folderTarget = t.folder.file("a folder");
    CreateDirectoryW(folderTarget.toNative().toWide().c_str(), nullptr);
    EXPECT_THROW(t.host.text().saveSelectionTo(folderTarget), cpp::Exception) << "the move fails";
    EXPECT_FALSE(cpp::File::exists(t.folder.file("a folder.saving"))) << "the written copy is removed";

    // Lines the file no longer holds are left out and named, never saved as a placeholder.
    testing_support::writeFile(source, "after truncation\r\n");
    ASSERT_TRUE(t.host.waitForLines(3));
    viewer.setAnchor(TextCursor(0, 0));
    viewer.setCaret(TextCursor(2, 5));
    const data::WriteReport report = t.host.text().saveSelectionTo(target);
    EXPECT_EQ(report.unreadable, 2u);
    EXPECT_EQ(testing_support::readFile(target), "after");
}
