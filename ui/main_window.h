#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <map>
#include <memory>
#include <vector>

#include "config/config.h"
#include "config/session.h"
#include "document/document.h"
#include "document/viewer.h"
#include "ui/help_window.h"
#include "ui/text_window.h"

struct IDropTarget;

namespace ui {

// What the main window takes from the program.
class MainWindowContext : public PanelResources {
public:
    virtual data::Document& document() = 0;
    virtual data::Viewer& viewer() = 0;
    virtual config::Config& config() = 0;
    virtual const cpp::String& version() const = 0;
    virtual bool debugMode() const = 0;
    // Makes the named fonts anew for `dpi`. Those made before stay alive
    // until the next call, for the windows that still hold them.
    virtual void makeFonts(int dpi) = 0;
};

// The effect a drop of files reports: copy, or link where that is all the
// source allows (or Ctrl+Shift asks for it); never move, which would make the
// source delete the files it dragged.
unsigned long dropEffect(unsigned long keys, unsigned long allowed);

// The program's top-level window: the row of controls, the text window below
// them, the Options and view-mode menus, and the ways files are opened.
class MainWindow : public Window, public TextWindowHost {
public:
    static constexpr UINT refreshMessage = WM_USER;
    static constexpr UINT_PTR refreshPauseTimer = 1;
    // After a refresh the next waits this long: posted messages go before
    // input, so a stream of them would leave keys and clicks (Alt+F4 too)
    // unanswered while lines pour in.
    static constexpr UINT refreshPauseMilliseconds = 30;
    // Changes to the files, filters or marks are kept in the session at
    // most this often, as each save appends the whole session to the
    // configuration; and at most this many marks.
    static constexpr UINT_PTR sessionTimer = 2;
    static constexpr UINT sessionSaveMilliseconds = 2000;
    static constexpr std::size_t sessionMarkLimit = 10000;

    explicit MainWindow(MainWindowContext& context);
    ~MainWindow() override;

    // Created hidden; the caller centres and shows it.
    void create();
    // Opens the files as one batch (closing the open ones first with
    // `replace`); failures, names that are no paths included, are reported
    // together in one message box.
    // With an encoding for a file, it is read in that one; otherwise detected.
    void openFiles(const std::vector<cpp::String>& names, bool replace,
                   const std::vector<std::optional<cpp::TextEncoding>>& encodings = {});
    void updateTitle();
    // Opens the files, filters and marks of the last session; files that are
    // gone are named in the status popup.
    void reopenLastSession();
    // Asks for a refresh of the view from any thread; any number of calls
    // before it is handled cost one queued message, and refreshes follow
    // each other no closer than the refresh pause.
    void requestRefresh();
    TextWindow& text() { return *text_; }
    // Rebuilds the filter list and refreshes the filter box from the viewer.
    void onUpdateFilters();
    HWND filterList() const { return filterList_; }
    HWND filterBox() const { return filterBox_; }
    HMENU colourMenu() const { return colourMenu_.get(); }
    HMENU optionsMenu() const { return GetSubMenu(optionsMenu_.get(), 0); }
    ::IDropTarget* dropTarget() const { return dropTarget_.get(); }
    // Sets the Options menu's items enabled as they would be when it opens.
    void updateOptionsMenu();

    bool showsFiles() const override { return showFiles_; }
    bool isActive() const override;
    HWND filterEdit() const override;
    bool debugMode() const override { return context_.debugMode(); }
    Images& images() override { return context_.images(); }
    HFONT namedFont(const char* name) override { return context_.namedFont(name); }
    Look look() const override { return look_; }
    // Follows a new DPI: fonts, images, measures and the text's layout.
    void setDpi(int dpi);
    // The View menu's choice, kept in the configuration.
    void setThemeChoice(appearance::ThemeChoice choice);
    appearance::ThemeChoice themeChoice() const { return themeChoice_; }
    std::int32_t selectedFilterId() const override;

    class DropTarget;

protected:
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void onCreate();
    void onSize();
    void placeControls();
    // Sets the controls' fonts and images, and the colours of what we paint,
    // for the current look; with `newFonts`, also the text's font.
    void applyLook(bool newFonts);
    void updateTheme();
    void onCommand(UINT id, UINT code);
    void openOptionsMenu();
    void openViewMenu();
    void setViewMode(bool showFiles, bool showFilters);
    const wchar_t* viewModeName() const;
    // The recent sets, in the Options menu: command ids from `firstRecent`.
    static constexpr UINT firstRecent = 40100;
    static constexpr std::size_t recentLimit = 50;
    HMENU recentMenu() const;
    void rebuildRecentMenu();
    void openRecent(std::size_t index);
    // Drops a recent set, as a right click in the menu asks.
    void forgetRecent(std::size_t index);
    // Keeps the open files, with their encodings, as a recent set.
    void rememberOpenFiles();
    // The files, filters and marks as a session, without what is read from
    // the files themselves; `fresh` numbers the marks anew in any case.
    config::Session currentSession(bool fresh);
    // Keeps the session in the configuration when it changed since it was
    // last kept; at the end always, with the line at the top of the view.
    void saveSession(bool atEnd);
    // Scrolls the last session's top line to the top once it has been read.
    void scrollToPendingTop();
    // Saves the session soon, once for any number of changes meanwhile.
    void requestSessionSave();
    void setShowMarkedOnly(bool on);
    // Shows the lines in this order, kept in the configuration; the caret's
    // line is shown again once the view is rebuilt.
    void setOrder(data::LineOrder order);
    // Reads a source again from its start in another encoding.
    void readAgain(std::int32_t sourceId, std::optional<cpp::TextEncoding> encoding);
    void openDialog();
    void saveVisibleLines();
    void openContainingFolder();
    void updatePauseButton();
    // The filter bar and list.
    void createFilterControls();
    // The filter images at the look's scale, in the list, the box and the menus.
    void applyFilterLook();
    void onFilterTextChanged();
    // Writes the active filter's text and kind image into the box.
    void showInBox(const std::wstring& text, int image);
    LRESULT onFilterNotify(const NMHDR& header);
    void openItemMenu();
    void onItemCommand(UINT id);
    int filterListHeight();
    // The filter and file menus share the colour menu; it must not be
    // destroyed with each of them.
    void detachColourMenu();
    static LRESULT CALLBACK editProcedure(HWND edit, UINT message, WPARAM wParam, LPARAM lParam);
    HWND makeButton(const wchar_t* text, DWORD style, int id);

    MainWindowContext& context_;
    std::unique_ptr<TextWindow> text_;
    HWND optionsButton_ = nullptr, pauseButton_ = nullptr, filterBox_ = nullptr, addButton_ = nullptr,
         viewButton_ = nullptr, wrapButton_ = nullptr, tooltip_ = nullptr;
    cpp::windows::Menu optionsMenu_, viewMenu_, filterMenu_, fileMenu_, colourMenu_;
    cpp::windows::ImageList imageList_;
    HWND filterList_ = nullptr;
    config::Session savedSession_;
    bool sessionSaveDue_ = false;
    std::uint64_t marksVersion_ = UINT64_MAX;
    std::vector<std::pair<std::int32_t, std::int32_t>> marksNumbering_;  // each source's newest first line
    std::map<std::int32_t, std::vector<std::int32_t>> marks_;  // by number, as of the two above
    std::optional<std::pair<std::int32_t, std::int32_t>> pendingTop_;  // source id, line number
    std::optional<std::pair<std::int32_t, std::int32_t>> pendingCaret_;  // likewise
    struct ItemRecord {
        std::int32_t sourceId = 0;
        std::int32_t filterId = 0;
        COLORREF text = 0;
        COLORREF background = 0;
    };
    std::vector<ItemRecord> records_;
    std::wstring lastText_;
    int lastImage_ = 1;
    bool editing_ = false;
    WNDPROC editDefault_ = nullptr;
    cpp::windows::ComPtr<::IDropTarget> dropTarget_;
    std::atomic<bool> updatePosted_{false};   // a refresh is queued, or its pause runs
    std::atomic<bool> refreshWanted_{false};  // asked for since the last refresh began
    bool showFiles_ = false;
    bool showFilters_ = true;
    Look look_;
    HelpWindow help_;
    appearance::ThemeChoice themeChoice_ = appearance::ThemeChoice::System;
};

}  // namespace ui
