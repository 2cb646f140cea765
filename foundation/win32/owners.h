#pragma once

// Owners of Windows handles, COM objects and scoped states: each kind is
// given back by its own call, once, when its owner ends. No other code closes,
// releases, frees or unlocks by hand.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <wininet.h>

#include <cstdint>

#include "foundation/win32/internet_functions.h"

namespace cpp::windows {

template <class Handle>
Handle noHandle() {
    return nullptr;
}
// CreateFile and the file-system searches and notifications report failure so.
inline HANDLE invalidHandle() { return INVALID_HANDLE_VALUE; }

template <class Handle, auto Close, auto None = &noHandle<Handle>>
class Owned {
public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != None(); }
    // For calls that hand a new handle out through a pointer.
    Handle* out() {
        reset();
        return &handle_;
    }
    Handle release() {
        const Handle handle = handle_;
        handle_ = None();
        return handle;
    }
    void reset(Handle handle = None()) {
        if (handle_ != None()) Close(handle_);
        handle_ = handle;
    }

private:
    Handle handle_ = None();
};

inline void closeHandle(HANDLE handle) { CloseHandle(handle); }
inline void closeChangeNotification(HANDLE handle) { FindCloseChangeNotification(handle); }
inline void closeSearch(HANDLE handle) { FindClose(handle); }
inline void closeKey(HKEY key) { RegCloseKey(key); }
inline void closeInternet(HINTERNET handle) { internet().closeHandle(handle); }
inline void freeTaskMemory(wchar_t* memory) { CoTaskMemFree(memory); }
inline void deleteGdiObject(HGDIOBJ object) { DeleteObject(object); }
inline void deleteDc(HDC dc) { DeleteDC(dc); }
inline void destroyMenu(HMENU menu) { DestroyMenu(menu); }
inline void destroyImageList(HIMAGELIST list) { ImageList_Destroy(list); }
inline void freeGlobal(HGLOBAL memory) { GlobalFree(memory); }

// Kernel objects: events, processes, threads, mutexes.
using Handle = Owned<HANDLE, closeHandle>;
// What CreateFile opens.
using FileHandle = Owned<HANDLE, closeHandle, invalidHandle>;
using ChangeNotification = Owned<HANDLE, closeChangeNotification, invalidHandle>;
// A FindFirstFile search.
using FileSearch = Owned<HANDLE, closeSearch, invalidHandle>;
using RegistryHandle = Owned<HKEY, closeKey>;
using InternetHandle = Owned<HINTERNET, closeInternet>;
// Text the shell hands out in COM task memory.
using TaskText = Owned<wchar_t*, freeTaskMemory>;
using Font = Owned<HFONT, deleteGdiObject>;
using Brush = Owned<HBRUSH, deleteGdiObject>;
using Pen = Owned<HPEN, deleteGdiObject>;
using Bitmap = Owned<HBITMAP, deleteGdiObject>;
using MemoryDc = Owned<HDC, deleteDc>;
using Menu = Owned<HMENU, destroyMenu>;
using ImageList = Owned<HIMAGELIST, destroyImageList>;
using GlobalMemory = Owned<HGLOBAL, freeGlobal>;

// A reference to a COM object.
template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller holds.
    explicit ComPtr(Interface* pointer) : pointer_(pointer) {}
    ~ComPtr() { reset(); }
    ComPtr(ComPtr&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = other.pointer_;
            other.pointer_ = nullptr;
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* get() const { return pointer_; }
    Interface* operator->() const { return pointer_; }
    explicit operator bool() const { return pointer_ != nullptr; }
    // For calls that hand a new reference out through a pointer.
    Interface** out() {
        reset();
        return &pointer_;
    }
    void reset() {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }

private:
    Interface* pointer_ = nullptr;
};

// OLE on the calling thread, for the life of the owner. A failed start is
// not undone.
class OleInitialisation {
public:
    OleInitialisation() : initialised_(SUCCEEDED(OleInitialize(nullptr))) {}
    ~OleInitialisation() {
        if (initialised_) OleUninitialize();
    }
    OleInitialisation(const OleInitialisation&) = delete;
    OleInitialisation& operator=(const OleInitialisation&) = delete;

private:
    bool initialised_;
};

// Selects an object into a device context for the life of the scope.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~Selected() { SelectObject(dc_, previous_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// A window's device context (the screen's for no window), released at the
// end of the scope.
class WindowDc {
public:
    explicit WindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~WindowDc() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Movable global memory locked for the life of the owner; null when the lock
// failed.
template <class T>
class GlobalLocked {
public:
    GlobalLocked() = default;
    explicit GlobalLocked(HGLOBAL memory) : memory_(memory), data_(static_cast<T*>(GlobalLock(memory))) {}
    ~GlobalLocked() { reset(); }
    GlobalLocked(GlobalLocked&& other) noexcept : memory_(other.memory_), data_(other.data_) {
        other.data_ = nullptr;
    }
    GlobalLocked& operator=(GlobalLocked&& other) noexcept {
        if (this != &other) {
            reset();
            memory_ = other.memory_;
            data_ = other.data_;
            other.data_ = nullptr;
        }
        return *this;
    }
    GlobalLocked(const GlobalLocked&) = delete;
    GlobalLocked& operator=(const GlobalLocked&) = delete;

    T* get() const { return data_; }
    void reset() {
        if (data_ != nullptr) GlobalUnlock(memory_);
        data_ = nullptr;
    }

private:
    HGLOBAL memory_ = nullptr;
    T* data_ = nullptr;
};

}  // namespace cpp::windows
