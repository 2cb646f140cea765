#include "ui/clipboard_text.h"

#include <algorithm>

#include "foundation/windows_exception.h"

namespace ui {

ClipboardText::ClipboardText(std::uint64_t expectedBytes) : capacity_(expectedBytes + 1) {
    memory_.reset(GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(capacity_ * sizeof(wchar_t))));
    if (!memory_) throw cpp::Exception("Not enough memory for the clipboard");
    units_ = cpp::windows::GlobalLocked<wchar_t>(memory_.get());
    if (!units_.get()) throw cpp::Exception("Not enough memory for the clipboard");
}

void ClipboardText::grow(std::uint64_t units) {
    units_.reset();
    const std::uint64_t capacity = std::max(units, capacity_ + capacity_ / 2);
    const HGLOBAL larger =
        GlobalReAlloc(memory_.get(), static_cast<SIZE_T>(capacity * sizeof(wchar_t)), GMEM_MOVEABLE);
    if (larger) {
        memory_.release();  // the reallocation took the old handle over
        memory_.reset(larger);
        capacity_ = capacity;
    }
    units_ = cpp::windows::GlobalLocked<wchar_t>(memory_.get());
    if (!larger || !units_.get()) throw cpp::Exception("Not enough memory for the clipboard");
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
        const int units = MultiByteToWideChar(CP_UTF8, 0, bytes.begin() + done, static_cast<int>(take), units_.get() + used_,
                                              static_cast<int>(std::min<std::uint64_t>(capacity_ - used_, INT32_MAX)));
        if (units == 0) throw cpp::windows::Exception("MultiByteToWideChar");
        used_ += static_cast<std::uint64_t>(units);
        done += take;
    }
    return static_cast<std::size_t>(size);
}

HGLOBAL ClipboardText::take() {
    units_.get()[used_] = 0;
    units_.reset();
    // The measure was an upper bound: what is not used goes back.
    HGLOBAL memory = memory_.release();
    if (const HGLOBAL smaller = GlobalReAlloc(memory, static_cast<SIZE_T>((used_ + 1) * sizeof(wchar_t)), GMEM_MOVEABLE))
        memory = smaller;
    return memory;
}

}  // namespace ui
