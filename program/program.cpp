#include "program/program.h"

#include "program/program_detail.h"

#include <shlobj.h>

#include "foundation/file.h"
#include "foundation/log_filter.h"
#include "foundation/win32/text_buffer.h"
#include "qilark_version.h"

const cpp::String Program::version(QILARK_VERSION);

namespace {

using cpp::FilePath;
using cpp::String;

cpp::windows::Font makeFont(const wchar_t* face, int height, int weight, bool strikeOut) {
    return cpp::windows::Font(CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, strikeOut, DEFAULT_CHARSET,
                                          OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, face));
}

FilePath findDataFolder(bool create) {
    const std::wstring overridden = cpp::windows::filledText(
        [](wchar_t* buffer, DWORD size) { return GetEnvironmentVariableW(L"QILARK_DATA_DIR", buffer, size); });
    FilePath folder;
    if (!overridden.empty()) {
        folder = FilePath(String(overridden));
    } else {
        cpp::windows::TaskText localAppData;  // given back even when the call fails
        const HRESULT result = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, localAppData.out());
        const String base = SUCCEEDED(result) ? String(std::wstring(localAppData.get())) : String();
        if (base.empty()) throw cpp::IOException(String("The local application data folder is unknown"));
        folder = FilePath(base).append("qi-lark");
    }
    if (create) cpp::File::createDirectories(folder);
    return folder;
}

void debugBox(const wchar_t* text) { MessageBoxW(nullptr, text, L"", MB_OK); }

}  // namespace

Program::Detail::Detail(Program& program, const FilePath& configPath)
    : debug_(program.hasProperty("--debug")),
      config_(configPath),
      document_(std::make_unique<data::Document>(program.bus())),
      viewer_(std::make_unique<data::Viewer>(*document_)) {}

HFONT Program::Detail::namedFont(const char* name) {
    const auto found = fonts_.find(String(name));
    return found == fonts_.end() ? nullptr : found->second.get();
}

ui::Look Program::Detail::look() const {
    return ui::Look{fontDpi_, appearance::paintsDark(appearance::ThemeChoice::System, ui::appsUseLightTheme())};
}

void Program::Detail::makeFonts(int dpi) {
    retiredFonts_ = std::move(fonts_);
    fonts_.clear();
    fontDpi_ = dpi;
    const auto px = [dpi](int pixels) { return appearance::scaled(pixels, dpi); };
    fonts_[String("ui-header")] = makeFont(L"Tahoma", px(16), FW_BOLD, false);
    fonts_[String("ui")] = makeFont(L"Tahoma", px(14), 0, false);
    fonts_[String("ui-strikeout")] = makeFont(L"Tahoma", px(14), 0, true);
    // The configured size is in pixels at 96 DPI.
    const config::FontSpec spec = config_.getFont("text-font", "Consolas", 16.0);
    const int height = static_cast<int>(spec.size * dpi / appearance::standardDpi + 0.5);
    fonts_[String("text")] =
        cpp::windows::Font(CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                       CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, FIXED_PITCH | FF_MODERN,
                                       spec.face.toWide().c_str()));
}

Program::Program(HINSTANCE instance, const String& commandLine)
    : WinApp(instance, commandLine), dataFolder_(findDataFolder(!hasProperty("--uninstall"))) {
    if (hasProperty("--debug")) debugBox(L"At program begin");
    logger().addFilter(std::make_shared<cpp::DebugLogFilter_t>(8));
    // Uninstalling deletes the data folder: no log file is kept open in it.
    if (!hasProperty("--uninstall"))
        logger().addFilter(std::make_shared<cpp::FileLogFilter_t>(dataFolder_, String(), String("log.txt"), 8));
    bus().resize(8);
    detail_ = std::make_unique<Detail>(*this, dataFolder_.append("qi-lark.config.txt"));
    detail_->makeFonts(ui::systemDpi());
    cpp::logInfo(String::substitute("qi-lark % started: %", version, property("cmdline")));
}

Program::~Program() {
    // The document's threads call back into the main window: they end before
    // it goes. Stopping abandons queued batches and passes; the files keep
    // their lines.
    detail_->viewer().setDocumentChangedCallback(nullptr);
    detail_->document().stop();
    bus().resize(0);
    detail_->mainWindow.reset();
    detail_->uninstallWindow.reset();
    if (hasProperty("--debug")) debugBox(L"At program end");
    cpp::logInfo(String::substitute("qi-lark % ended", version));
    detail_.reset();
}

HFONT Program::font(const String& name) const {
    return detail_->namedFont(name.c_str());
}
