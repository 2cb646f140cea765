#include "ui/clipboard_text.h"

#include <algorithm>

#include "foundation/windows_exception.h"

namespace ui {

ClipboardText::ClipboardText(std::uint64_t expectedBytes) : capacity_(expectedBytes + 1) {
    memory_ = GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(capacity_ * sizeof(wchar_t)));
    if (!memory_) throw cpp::Exception("Not enough memory for the clipboard");
    units_ = static_cast<wchar_t*>(GlobalLock(memory_));
    if (!units_) {
        GlobalFree(memory_);
        memory_ = nullptr;
        throw cpp::Exception("Not enough memory for the clipboard");
    }
}

ClipboardText::~ClipboardText() {
    if (!memory_) return;
    GlobalUnlock(memory_);
    GlobalFree(memory_);
}

void ClipboardText::grow(std::uint64_t units) {
    GlobalUnlock(memory_);
    const std::uint64_t capacity = std::max(units, capacity_ + capacity_ / 2);
    const HGLOBAL larger = GlobalReAlloc(memory_, static_cast<SIZE_T>(capacity * sizeof(wchar_t)), GMEM_MOVEABLE);
    if (larger) {
        memory_ = larger;
        capacity_ = capacity;
    }
    units_ = static_cast<wchar_t*>(GlobalLock(memory_));
    if (!larger || !units_) throw cpp::Exception("Not enough memory for the clipboard");
}

std::size_t ClipboardText::write(cpp::TextRef bytes) {
    const auto size = static_cast<std::uint64_t>(bytes.length());
    if (!memory_) throw cpp::Exception("The text for the clipboard was handed over");
    // The lines shown may have changed since the measure (a rebuild ran on).
    if (used_ + size >= capacity_) grow(used_ + size + 1);
    // Converted in pieces a signed int can count.
    constexpr std::uint64_t piece = 1u << 30;
    for (std::uint64_t done = 0; done < size;) {
        std::uint64_t take = std::min(size - done, piece);
        // A piece ends on a character's first byte, never inside one.
        while (take < size - done && take > 0 && (static_cast<unsigned char>(bytes.begin()[done + take]) & 0xC0) == 0x80)
            --take;
        const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.begin() + done, static_cast<int>(take), units_ + used_,
                                              static_cast<int>(std::min<std::uint64_t>(capacity_ - used_, INT32_MAX)));
        if (units == 0) throw cpp::windows::Exception("MultiByteToWideChar");
        used_ += static_cast<std::uint64_t>(units);
        done += take;
    }
    return static_cast<std::size_t>(size);
}

HGLOBAL ClipboardText::take() {
    units_[used_] = 0;
    GlobalUnlock(memory_);
    // The measure was an upper bound: what is not used goes back.
    HGLOBAL memory = memory_;
    if (const HGLOBAL smaller = GlobalReAlloc(memory_, static_cast<SIZE_T>((used_ + 1) * sizeof(wchar_t)), GMEM_MOVEABLE))
        memory = smaller;
    memory_ = nullptr;
    units_ = nullptr;
    return memory;
}

}  // namespace ui
