#include "ui/help_window.h"

namespace ui {

namespace {

// Follows the line with the name and version.
constexpr const wchar_t* text = LR"help(
qi-lark shows growing text files, above all logs. The lines of all open files appear in one view in the order they arrived, and the view follows new lines until you pause it. Filters colour lines and choose which are shown.


OPENING FILES

Options > Open... opens files in place of the open ones; Options > Open Recent opens a set opened before (a right click on an entry removes it).
Dropping files on the window opens them in place of the open ones; with Ctrl held they are added.
Data piped into qi-lark is shown beside the files.
Files compressed with gzip (such as rotated logs, app.log.2.gz) open as the text they hold, whatever their name.
Started without files and without piped data, qi-lark opens the last session again: its files with their colours and encodings, the filters, the marks of files unchanged since, and the line at the top of the view. Options > Reopen Last Session at Start turns this off.


KEYS IN THE TEXT

F1 — this help; Esc closes it.
Arrow keys, Page Up, Page Down — move the caret; with Shift they extend the selection.
Home, End — to the start or end of the row. Ctrl+Home, Ctrl+End — to the first or last line.
Ctrl+Up, Ctrl+Down, Ctrl+Page Up, Ctrl+Page Down — scroll by a row or a page; the caret stays.
Ctrl+A — select all. Ctrl+C — copy the selection.
Ctrl+F — make the selected text the filter, as Highlight; with nothing selected, go to the filter box.
F3, Shift+F3 — the next or previous line that the filter in the box (or else the filter selected in the list) matches.
Ctrl+G — go to a line number of the caret's file, or to a time (15:34, 15:34:01.250, 2026-12-08 15:34): the first shown line at or after it (by arrival, the first in the view of each file's first such line); a time without a date means the latest such time the lines reach.
Ctrl+F2 — mark or unmark the caret's line (each line of a selection).
F2, Shift+F2 — the next or previous marked line that is shown.
A letter or other character — starts a new filter text in the filter box.
Backspace — empties the filter box and goes there. Esc — empties the filter box.
Enter — saves the filter in the box into the list.
Tab — to the next control.


THE MOUSE

Click — puts the caret there; drag to select (the view scrolls at its edges); Shift+click extends the selection.
Double click — selects a word; dragging on selects whole words.
Click in the gutter — marks or unmarks the line beside it.
Right click — the text's menu: Filter Selection (Highlight, Show, Show Only, Hide, Exclude; for text within one line), Copy Selection, Save Selection As..., Select All, Find Next, Find Previous, Go to Line..., Mark Line, Next Mark, Previous Mark, Clear All Marks, Copy Marked Lines (all marked lines, shown or not).
Wheel — scrolls.
Pointing at the text shows, in the lower right corner, the file, line number and column under the pointer, and how many lines are shown (of how many).


THE BAR AT THE TOP

Options — Open..., Open Recent, Open Containing Folder, Close, Save As... (saves the lines shown), Find Next, Find Previous, Go to Line..., Help.
Pause button — stops and resumes following the files; the title then ends in "(paused)".
Filter box — the filter you are editing; the view follows as you type. Enter or the Add button saves it into the list below.
View button — a click goes to the next view mode: View Filters, View Files and Filters, Hide Filters. Its arrow opens the View menu: the three modes, Theme (System, Light, Dark), Order and Show Marked Lines Only (shows just the marked lines). Order By Arrival shows the lines as they came; By Time merges the lines of all files by the timestamps they start with (ISO 8601, 2026/12/08, syslog, web-server, 08.12.2026, 12/08/2026 and Unix seconds or milliseconds). A line without a stamp stays under the stamped line above it, a file without stamps keeps the time its lines arrived, and a line that comes late is put where its time belongs.
Wrap Lines button — wraps long lines.


THE FILTER LIST

Each saved filter shows its text and number of matching lines, in its colour, with the image of its kind. A filter whose regular expression is broken is struck through and matches nothing.
Double click — moves the filter back into the box to be edited.
Right click — the filter's kind, Color, Select (into the box), Remove.
In View Files and Filters, each file has an item too, with its name and last line number. Right click: Color, Encoding (reads the file again as Automatic, UTF-8, UTF-16 LE, UTF-16 BE or Windows ANSI), Pause, Resume, Stop.


FILTER KINDS

Every filter colours what it matches in the lines shown; its kind decides which lines are shown.
Highlight — only colours; shows and hides nothing.
Show — shows the lines it matches: with several Show filters, a line that any of them matches. Without a Show or Show Only filter every line is shown.
Show Only — shows only the lines it matches: with several, only lines that all of them match. It overrules the Show filters. A new filter is Show Only.
Hide — hides the lines it matches, whatever other filters show.
Exclude — hides the lines it matches, as Hide does.


FILTER TEXT

The first character chooses how the text matches; a text of one character is always a regular expression.
A regular expression (ECMAScript syntax, case matters). Example: ERR(OR)?.*timeout
":" then plain text, matched as written, case included. Example: :[main] matches the text [main].
"~" then plain text, without regard to the case of the letters A to Z. Example: ~warning matches WARNING and Warning.
"!" then a regular expression; it matches the lines where the expression does not. Example: !DEBUG|TRACE matches every line with neither DEBUG nor TRACE.


THE GUTTER AND THE BANDS

The gutter at the left numbers the lines in the order they arrived, over all files; the lower right corner shows a line's number in its own file.
Lines that arrived in the last six seconds have a blue gutter.
A marked line has a mark at the left of the gutter and a tint; its mark stays through filter changes, wrapping and rotation.
In View Files and Filters, a band in the file's colour runs down the right edge beside each run of lines from one file; the top of the run is tinted in that colour, with the file's name where the run is tall enough.


COMMAND LINE

qi-lark.exe [options] [files...]
The files named are opened; data piped into the program is read as one more source.
--noInstall — does not install qi-lark for the current user.
--uninstall — removes the installation for the current user: the program, its shortcut and its registration.
--debug — shows a message box at start and end (to attach a debugger), and the memory panel.
Started from anywhere but %LOCALAPPDATA%\qi-lark, qi-lark installs itself there for the current user, without administrator rights, with a Start-menu shortcut.


WHERE THE FILES ARE KEPT

In %LOCALAPPDATA%\qi-lark, or in the folder that the environment variable QILARK_DATA_DIR names:
qi-lark.config.txt — the configuration, one "key<Tab>value" line per setting: recent files, the last session (session), view mode (view), line wrapping (line_wrap), theme (theme), order (order: arrival or time); update-check set to off turns the update check off, reopen-session set to off the reopening of the last session.
yy-mm-dd.log.txt — the program's own log, one file a day.
)help";

}  // namespace

std::wstring helpText(const cpp::String& version) {
    std::wstring result = L"qi-lark " + version.toWide() + L"\r\n";
    for (const wchar_t* at = text; *at; ++at) {
        if (*at == L'\n') result += L'\r';
        result += *at;
    }
    return result;
}

}  // namespace ui
