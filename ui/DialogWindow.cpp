#include "ui/DialogWindow.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr std::size_t kNumberTextBytes = 16;  // "-2147483648" and "4294967295" with room to spare

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The length of the longest prefix of text[0..length) that ends on a UTF-8 character boundary.
std::size_t WholeCharacters(const char* text, std::size_t length) {
    std::size_t cut = length;
    // Step back over continuation bytes to the lead byte of the last character, then keep that
    // character only if all of its bytes are inside the prefix.
    while (cut > 0 && (static_cast<unsigned char>(text[cut - 1]) & 0xC0) == 0x80) {
        --cut;
    }
    if (cut == 0) {
        return length;  // not UTF-8 at all: keep the bytes
    }
    const auto lead = static_cast<unsigned char>(text[cut - 1]);
    std::size_t expected = 1;
    if ((lead & 0xE0) == 0xC0) {
        expected = 2;
    } else if ((lead & 0xF0) == 0xE0) {
        expected = 3;
    } else if ((lead & 0xF8) == 0xF0) {
        expected = 4;
    }
    return length - (cut - 1) >= expected ? length : cut - 1;
}

}  // namespace

std::uint32_t ParseItemInt(const char* text, bool* translated, bool isSigned) {
    if (translated != nullptr) {
        *translated = false;
    }
    const char* cursor = text;
    while (IsBlank(*cursor)) {
        ++cursor;
    }
    bool negative = false;
    if (isSigned && (*cursor == '-' || *cursor == '+')) {
        negative = *cursor == '-';
        ++cursor;
    }
    const std::uint64_t limit = !isSigned  ? std::numeric_limits<std::uint32_t>::max()
                                : negative ? std::uint64_t{1} << 31
                                           : (std::uint64_t{1} << 31) - 1;
    std::uint64_t value = 0;
    const char* digits = cursor;
    while (*cursor >= '0' && *cursor <= '9') {
        value = value * 10 + static_cast<std::uint64_t>(*cursor - '0');
        if (value > limit) {
            return 0;
        }
        ++cursor;
    }
    if (cursor == digits) {
        return 0;
    }
    while (IsBlank(*cursor)) {
        ++cursor;
    }
    if (*cursor != '\0') {
        return 0;
    }
    if (translated != nullptr) {
        *translated = true;
    }
    const auto magnitude = static_cast<std::uint32_t>(value);
    return negative ? 0u - magnitude : magnitude;
}

int DialogWindow::IsChecked(int id) const {
    return backend != nullptr ? backend->IsChecked(id) : 0;
}

void DialogWindow::SetChecked(int id, int state) {
    if (backend != nullptr) {
        backend->SetChecked(id, state);
    }
}

bool DialogWindow::SetItemText(int id, const char* text) {
    return backend != nullptr && backend->SetItemText(id, text);
}

std::size_t DialogWindow::GetItemText(int id, char* buffer, std::size_t size) const {
    if (size == 0) {
        return 0;
    }
    buffer[0] = '\0';
    if (backend == nullptr) {
        return 0;
    }
    const std::string text = backend->ItemText(id);
    std::size_t length = text.size();
    if (length > size - 1) {
        length = WholeCharacters(text.data(), size - 1);
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

std::uint32_t DialogWindow::GetItemInt(int id, bool* translated, bool isSigned) const {
    const std::string text = backend != nullptr ? backend->ItemText(id) : std::string();
    return ParseItemInt(text.c_str(), translated, isSigned);
}

bool DialogWindow::SetItemInt(int id, std::uint32_t value, bool isSigned) {
    char text[kNumberTextBytes];
    if (isSigned) {
        std::snprintf(text, sizeof text, "%d", static_cast<std::int32_t>(value));
    } else {
        std::snprintf(text, sizeof text, "%u", value);
    }
    return SetItemText(id, text);
}

bool DialogWindow::EnableItem(int id, bool enable) {
    return backend != nullptr && backend->EnableItem(id, enable);
}

void DialogWindow::SetSliderRange(int id, int minimum, int maximum) {
    if (backend != nullptr) {
        backend->SetSliderRange(id, minimum, maximum);
    }
}

void DialogWindow::SetSliderPosition(int id, int position) {
    if (backend != nullptr) {
        backend->SetSliderPosition(id, position);
    }
}

int DialogWindow::SliderPosition(int id) const {
    return backend != nullptr ? backend->SliderPosition(id) : 0;
}

bool DialogWindow::SendItemMessage(int id, const LinkMessage& message) {
    return backend != nullptr && backend->SendItemMessage(id, message);
}

const DialogFont* DialogWindow::GetItemFont(int id) const {
    return backend != nullptr ? backend->ItemFont(id) : nullptr;
}

bool DialogWindow::CreateStatusBar(int id, std::span<const int> paneRightEdges) {
    return backend != nullptr && backend->CreateStatusBar(id, paneRightEdges);
}

bool DialogWindow::SetStatusText(int id, int pane, const char* text) {
    return backend != nullptr && backend->SetStatusText(id, pane, text);
}

int DialogWindow::ShowMessageBox(MessageBoxOwner owner, const char* text, const char* caption,
                                 MessageIcon icon) {
    return backend != nullptr ? backend->ShowMessageBox(owner, text, caption, icon) : 0;
}

void DialogWindow::EndDialog(int result) {
    if (backend != nullptr) {
        backend->EndDialog(result);
    }
}

void DialogWindow::PostCommand(int id) {
    if (backend != nullptr) {
        backend->PostCommand(id);
    }
}
