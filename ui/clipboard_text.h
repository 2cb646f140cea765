#pragma once

#include <windows.h>

#include <cstdint>

#include "foundation/input.h"
#include "foundation/win32/owners.h"

namespace ui {

// Collects UTF-8 text as the clipboard takes it: UTF-16 in movable global
// memory, converted a piece at a time as it is written, so that a large
// selection is never held twice. Each write must end on a character
// boundary, as whole lines do.
class ClipboardText : public cpp::Output::Sink_t {
public:
    // `expectedBytes`: the UTF-8 bytes that will likely be written (they never
    // take more UTF-16 units than bytes); more makes the memory grow. Throws
    // when the memory cannot be had.
    explicit ClipboardText(std::uint64_t expectedBytes);
    ClipboardText(const ClipboardText&) = delete;
    ClipboardText& operator=(const ClipboardText&) = delete;

    bool isOpen() override { return static_cast<bool>(memory_); }
    // Throws when there is not enough memory or the text cannot be converted.
    std::size_t write(cpp::TextRef bytes) override;
    void flush() override {}
    // Ends the text and hands the memory over, for SetClipboardData.
    HGLOBAL take();

private:
    void grow(std::uint64_t units);

    cpp::windows::GlobalMemory memory_;
    cpp::windows::GlobalLocked<wchar_t> units_;  // while the text is written
    std::uint64_t capacity_ = 0;  // units, the closing zero included
    std::uint64_t used_ = 0;
};

}  // namespace ui
