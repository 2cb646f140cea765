#include <windows.h>
#include <ole2.h>
#include <shellapi.h>

#include "ui/main_window.h"

namespace ui {

// Files dropped on the main window. The effect reported is never a move:
// a drag source that is told the files moved deletes the originals, and the
// user's logs would vanish. Whether the drop replaces the open files or adds
// to them is decided from the keys alone.
class MainWindow::DropTarget : public IDropTarget {
public:
    explicit DropTarget(MainWindow& window) : window_(window) {}
    virtual ~DropTarget() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** object) override {
        if (id == IID_IUnknown || id == IID_IDropTarget) {
            *object = static_cast<IDropTarget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override {
        accepted_ = offersFiles(data);
        *effect = accepted_ ? chooseEffect(keys, *effect) : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL, DWORD* effect) override {
        *effect = accepted_ ? chooseEffect(keys, *effect) : DROPEFFECT_NONE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) override {
        const bool add = (keys & MK_CONTROL) != 0;
        *effect = offersFiles(data) ? chooseEffect(keys, *effect) : DROPEFFECT_NONE;
        if (*effect == DROPEFFECT_NONE) return S_OK;
        const auto paths = droppedFiles(data);
        if (paths.empty()) {
            *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        window_.openFiles(paths, !add);
        return S_OK;
    }

private:
    static DWORD chooseEffect(DWORD keys, DWORD allowed) { return dropEffect(keys, allowed); }

    static FORMATETC fileFormat() { return FORMATETC{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}; }

    static bool offersFiles(IDataObject* data) {
        FORMATETC format = fileFormat();
        return data && data->QueryGetData(&format) == S_OK;
    }

    static std::vector<cpp::String> droppedFiles(IDataObject* data) {
        std::vector<cpp::String> paths;
        FORMATETC format = fileFormat();
        STGMEDIUM medium = {};
        if (data->GetData(&format, &medium) != S_OK) return paths;
        {
            const cpp::windows::GlobalLocked<void> locked(medium.hGlobal);
            if (const auto drop = static_cast<HDROP>(locked.get())) {
                const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
                for (UINT i = 0; i < count; ++i) {
                    std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
                    name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
                    paths.emplace_back(name);
                }
            }
        }
        ReleaseStgMedium(&medium);
        return paths;
    }

    MainWindow& window_;
    ULONG references_ = 1;
    bool accepted_ = false;
};

unsigned long dropEffect(unsigned long keys, unsigned long allowed) {
    if ((keys & (MK_CONTROL | MK_SHIFT)) == (MK_CONTROL | MK_SHIFT) && (allowed & DROPEFFECT_LINK))
        return DROPEFFECT_LINK;
    if (allowed & DROPEFFECT_COPY) return DROPEFFECT_COPY;
    if (allowed & DROPEFFECT_LINK) return DROPEFFECT_LINK;
    return DROPEFFECT_NONE;
}

IDropTarget* makeDropTarget(MainWindow& window) { return new MainWindow::DropTarget(window); }

}  // namespace ui
