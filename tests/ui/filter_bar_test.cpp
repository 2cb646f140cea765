#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include "config/config.h"
#include "document/source.h"
#include "resources/resource_ids.h"
#include "test_files.h"
#include "ui/main_window.h"
#include "main_window_under_test.h"
#include "ui_harness.h"

using cpp::String;
using data::FilterKind;
using data::TextCursor;

using testing_support::MainWindowUnderTest;

TEST(FilterBar, TypingSavingKindsRemovalAndBrokenPatterns) {
    MainWindowUnderTest t;
    testing_support::writeFile(t.folder.file("app.log"), "an error here\nall fine\nanother error\nwarn only\n");
    t.window.openFiles({t.folder.file("app.log").toString('/')}, false);
    ASSERT_TRUE(t.settle(4));

    const std::uint32_t before = t.requests();
    t.type(L"e");
    t.type(L"er");
    t.type(L"err");
    EXPECT_EQ(t.requests(), before + 3) << "each change of text refilters";
    t.type(L"err");
    EXPECT_EQ(t.requests(), before + 3) << "the same text does not";
    ASSERT_TRUE(t.settle(4));
    EXPECT_EQ(t.viewer().status().visibleLines, 2u) << "a new filter shows only its matches";
    EXPECT_EQ(t.items(), (std::vector<String>{"err (2)"})) << "the active filter is listed";

    SendMessageW(t.window.filterEdit(), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(t.settle(4));
    EXPECT_EQ(t.items(), (std::vector<String>{"err (2)"}));
    EXPECT_EQ(t.imageOf(0), static_cast<int>(FilterKind::ShowOnly));
    EXPECT_EQ(t.boxText(), "") << "the box shows the fresh active filter";
    const auto savedBefore = t.viewer().filters().size();
    SendMessageW(t.window.filterEdit(), WM_KEYDOWN, VK_RETURN, 0);
    ASSERT_TRUE(t.settle(4));
    EXPECT_EQ(t.viewer().filters().size(), savedBefore) << "a second Enter saves nothing";

    t.select(0);
    t.command(ID_FILTER_HIDE);
    ASSERT_TRUE(t.settle(4));
    EXPECT_EQ(t.viewer().status().visibleLines, 2u) << "now the error lines are hidden";
    EXPECT_EQ(t.imageOf(0), static_cast<int>(FilterKind::Hide));

    t.command(40150);  // top-left swatch
    ASSERT_TRUE(t.settle(4));
    const auto saved = t.viewer().filters().begin()->second;
    EXPECT_EQ(saved.colour, data::paletteColour(35));
    t.select(0);
    t.command(40185);  // bottom-right swatch
    ASSERT_TRUE(t.settle(4));
    EXPECT_EQ(t.viewer().filters().begin()->second.colour, data::paletteColour(0));

    t.type(L"(a");
    ASSERT_TRUE(t.settle(4));
    EXPECT_EQ(t.viewer().status().visibleLines, 2u) << "a broken pattern hides nothing more";
    bool broken = false;
    for (const auto& [id, info] : t.viewer().filters()) broken = broken || (info.text == "(a" && !info.hasPattern);
    EXPECT_TRUE(broken) << "and is listed as having no pattern (drawn struck out)";

    // Remove on the active filter empties the box and sets the kind to Show.
    const auto list = t.items();
    ASSERT_EQ(list.size(), 2u);
    t.select(1);
    t.command(ID_FILTER_REMOVE);
    ASSERT_TRUE(t.settle(4));
    EXPECT_EQ(t.boxText(), "");
    EXPECT_EQ(t.viewer().filters().at(t.document().activeFilterId()).kind, FilterKind::Show);
}

TEST(FilterBar, SourceItemsColoursAndTheListHeight) {
    MainWindowUnderTest t;
    testing_support::writeFile(t.folder.file("one.log"), "first\n");
    testing_support::writeFile(t.folder.file("two.log"), "second\n");
    t.window.openFiles({t.folder.file("one.log").toString('/'), t.folder.file("two.log").toString('/')}, false);
    ASSERT_TRUE(t.settle(2));
    t.command(ID_VIEW_FILES_AND_FILTERS);
    t.pump();
    ASSERT_EQ(t.items(), (std::vector<String>{"one (1)", "two (1)"}));
    EXPECT_EQ(t.imageOf(0), 5) << "reading";
    EXPECT_EQ(t.config().get("view"), "files-and-filters") << "the view mode is kept for the next start";

    // Each change comes back from the document's thread.
    const auto source = [&](std::int32_t id) { return t.viewer().sources().at(id); };
    t.select(0);
    t.command(ID_FILE_PAUSE);
    EXPECT_TRUE(t.pumpUntil([&] { return source(1).paused && t.imageOf(0) == 6; }))
        << source(1).paused << ", image " << t.imageOf(0);
    t.command(ID_FILE_RESUME);
    EXPECT_TRUE(t.pumpUntil([&] { return !source(1).paused; }));
    t.command(ID_FILE_STOP);
    EXPECT_TRUE(t.pumpUntil([&] { return !source(1).reading && t.imageOf(0) == 7; }))
        << source(1).reading << ", image " << t.imageOf(0) << " instead of the stopped image";

    t.select(1);
    t.command(40150);
    EXPECT_TRUE(t.pumpUntil([&] { return source(2).colour == data::paletteColour(35); }));
    const auto shot = testing_support::capture(t.window.text().handle());
    testing_support::savePng(shot, L"recoloured-source");
    const int strip = shot.width - 4;
    int row = -1;
    for (const auto& line : t.viewer().pageLines())
        if (line.entry.sourceId == 2) row = static_cast<int>((t.viewer().pageFirst() + (&line - &t.viewer().pageLines()[0])) * t.viewer().pitch()) + 5 - t.viewer().scrollY();
    ASSERT_GE(row, 0);
    EXPECT_EQ(shot.at(strip, row), data::paletteColour(35) & 0x00FFFFFF) << "the band takes the new colour";

    for (int i = 0; i < 20; ++i) {
        t.type(String::substitute("filter number %", i).toWide().c_str());
        SendMessageW(t.window.filterEdit(), WM_KEYDOWN, VK_RETURN, 0);
    }
    ASSERT_TRUE(t.settle(2));
    RECT list, text;
    GetWindowRect(t.window.filterList(), &list);
    GetWindowRect(t.window.text().handle(), &text);
    EXPECT_LE(list.bottom - list.top, 64) << "the list grows to 64 pixels at most";
    EXPECT_GT(list.bottom - list.top, 20);
    EXPECT_EQ(text.top, list.bottom + 2) << "the text window starts below it";
}

namespace {

// Files on offer as the file browser offers them when dragging.
class FileDrag : public IDataObject {
public:
    explicit FileDrag(const std::vector<std::wstring>& names) : names_(names) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_IDataObject) {
            *object = this;
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
        std::wstring list;
        for (const auto& name : names_) list += name + L'\0';
        list += L'\0';
        const SIZE_T size = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
        const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        std::copy(list.begin(), list.end(), reinterpret_cast<wchar_t*>(reinterpret_cast<BYTE*>(drop) + sizeof(DROPFILES)));
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
        return format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
    }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

private:
    std::vector<std::wstring> names_;
};

DWORD drop(ui::MainWindow& window, const std::vector<std::wstring>& names, DWORD keys) {
    FileDrag files(names);
    DWORD effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    window.dropTarget()->DragEnter(&files, keys, POINTL{10, 10}, &effect);
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK;
    window.dropTarget()->Drop(&files, keys, POINTL{10, 10}, &effect);
    return effect;
}

}  // namespace

TEST(MainWindowFiles, OptionsRecentFilesAndDrops) {
    MainWindowUnderTest t;
    t.window.updateOptionsMenu();
    for (UINT command : {ID_OPEN_CONTAINING_FOLDER, ID_CLOSE, ID_SAVE_AS})
        EXPECT_TRUE(GetMenuState(t.window.optionsMenu(), command, MF_BYCOMMAND) & MF_GRAYED) << "nothing open";

    testing_support::writeFile(t.folder.file("app1.log"), "one\n");
    testing_support::writeFile(t.folder.file("app2.log"), "two\n");
    testing_support::writeFile(t.folder.file("app3.log"), "three\n");
    t.window.openFiles({t.folder.file("app1.log").toString('/'), t.folder.file("app2.log").toString('/')}, false);
    ASSERT_TRUE(t.settle(2));
    t.window.updateOptionsMenu();
    EXPECT_FALSE(GetMenuState(t.window.optionsMenu(), ID_CLOSE, MF_BYCOMMAND) & MF_GRAYED);

    const HMENU recent = GetSubMenu(t.window.optionsMenu(), 1);
    ASSERT_EQ(GetMenuItemCount(recent), 1);
    wchar_t caption[256] = {};
    GetMenuStringW(recent, 0, caption, 256, MF_BYPOSITION);
    EXPECT_NE(std::wstring(caption).find(L"app[1.log, 2.log]"), std::wstring::npos);

    // A plain drop replaces the files, with Ctrl it adds; either way it reports a copy.
    EXPECT_EQ(drop(t.window, {t.folder.file("app3.log").toNative().toWide()}, 0), static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_TRUE(t.settle(1));
    EXPECT_EQ(t.document().openFilePaths().size(), 1u);
    EXPECT_EQ(drop(t.window, {t.folder.file("app1.log").toNative().toWide()}, MK_CONTROL),
              static_cast<DWORD>(DROPEFFECT_COPY));
    ASSERT_TRUE(t.settle(2));
    EXPECT_EQ(t.document().openFilePaths().size(), 2u);

    // Each set opened is remembered; choosing the first one reopens it.
    int first = -1;
    for (int i = 0; i < GetMenuItemCount(recent); ++i) {
        GetMenuStringW(recent, i, caption, 256, MF_BYPOSITION);
        if (std::wstring(caption).find(L"app[1.log, 2.log]") != std::wstring::npos) first = i;
    }
    ASSERT_GE(first, 1) << "newer sets come first";
    t.command(40100 + first);
    ASSERT_TRUE(t.settle(2));
    const auto reopened = t.document().openFilePaths();
    ASSERT_EQ(reopened.size(), 2u);
    EXPECT_EQ(reopened[1].fileName(), "app2.log");

    const int entries = GetMenuItemCount(recent);
    SendMessageW(t.window.handle(), WM_MENURBUTTONUP, 0, reinterpret_cast<LPARAM>(recent));
    EXPECT_EQ(GetMenuItemCount(recent), entries - 1) << "a right click removes an entry";

    // A source read again in another encoding keeps its place in the set,
    // which remembers the encoding.
    t.command(ID_VIEW_FILES_AND_FILTERS);
    t.pump();
    ASSERT_EQ(t.items(), (std::vector<String>{"app1 (1)", "app2 (1)"}));
    t.select(0);
    t.command(ID_FILE_ENCODING_UTF16LE);
    EXPECT_TRUE(t.pumpUntil([&] {
        const auto& sources = t.viewer().sources();
        return sources.size() == 2 && sources.count(1) == 0;
    })) << "the first source was read again as a new one";
    EXPECT_TRUE(t.pumpUntil([&] { return t.items() == std::vector<String>{"app1 (1)", "app2 (1)"}; }))
        << "in its place, with its line read again";
    const auto remembered = t.config().getRecentFiles().front();
    ASSERT_EQ(remembered.files.size(), 2u);
    EXPECT_EQ(remembered.files[0].fileName(), "app1.log");
    EXPECT_EQ(remembered.encodings, (std::vector<std::optional<cpp::TextEncoding>>{cpp::TextEncoding::Utf16Le, std::nullopt}));
    // The same set as before: no second one with the files the other way round.
    for (const auto& set : t.config().getRecentFiles())
        EXPECT_FALSE(set.files.size() == 2 && set.files[0].fileName() == "app2.log") << "the files in another order";
}

namespace {

void pressKey(HWND window, UINT key, bool shift) {
    BYTE state[256] = {};
    GetKeyboardState(state);
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
    SendMessageW(window, WM_KEYDOWN, key, 0);
    state[VK_SHIFT] = 0;
    SetKeyboardState(state);
}

}  // namespace

// F3 over a million lines walks the matches from the match sets; Ctrl+G goes
// to a line number of the caret's source.
TEST(MainWindowFind, NextPreviousAndGoToLineOverAMillionLines) {
    MainWindowUnderTest t;
    std::string text;
    text.reserve(24'000'000);
    for (int i = 1; i <= 1'000'000; ++i) {
        text += i % 100'000 == 50'000 ? "ERROR in line " : "a quiet line ";
        text += std::to_string(i);
        text += '\n';
    }
    testing_support::writeFile(t.folder.file("big.log"), text);
    t.window.openFiles({t.folder.file("big.log").toString('/')}, false);
    ASSERT_TRUE(t.settle(1'000'000));
    t.document().setFilterText("ERROR", FilterKind::Highlight);
    ASSERT_TRUE(t.settle(1'000'000));
    const HWND window = t.window.text().handle();
    t.viewer().setCaret(TextCursor(0, 0));
    t.viewer().collapse();

    for (int match = 0; match < 10; ++match) {
        pressKey(window, VK_F3, false);
        ASSERT_EQ(t.viewer().anchor(), TextCursor(static_cast<std::uint32_t>(match * 100'000 + 49'999), 0))
            << "match " << match;
        EXPECT_EQ(t.viewer().selectedText(), "ERROR");
    }
    EXPECT_FALSE(t.window.text().findMatch(true)) << "no further match: a beep, and the caret stays";
    EXPECT_EQ(t.viewer().anchor().row, 949'999u);
    pressKey(window, VK_F3, true);
    EXPECT_EQ(t.viewer().anchor().row, 849'999u) << "Shift+F3 walks back";
    EXPECT_FALSE(t.viewer().following()) << "a caret move stops following";

    ASSERT_TRUE(t.window.text().goToLine(500'000));
    EXPECT_EQ(t.viewer().caret(), TextCursor(499'999, 0));
    const auto at = t.document().toDisplayCursor(t.viewer().caret(), false);
    EXPECT_EQ(t.window.text().statusItems(at)[0], "big : 500000 : 0");
    EXPECT_FALSE(t.window.text().goToLine(2'000'000));
    EXPECT_TRUE(t.window.text().goTo(" 400000 ")) << "what the dialog takes";
    EXPECT_EQ(t.viewer().caret(), TextCursor(399'999, 0));
    EXPECT_FALSE(t.window.text().goTo("12:00")) << "no line tells a time";
    EXPECT_FALSE(t.window.text().goTo("line 5"));
    EXPECT_EQ(t.viewer().caret(), TextCursor(399'999, 0));
}
