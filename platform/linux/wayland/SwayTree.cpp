#include "platform/linux/wayland/SwayTree.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace platform::linux_wayland {
namespace {

// Deeper nesting than this is not a layout tree.
constexpr int kMaxDepth = 200;

struct Value {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<Value> items;  // array items
    // Object members in order, as two lists of the same length: a pair holding a Value cannot be named
    // while Value is still incomplete.
    std::vector<std::string> memberNames;
    std::vector<Value> memberValues;

    const Value* Member(std::string_view name) const {
        for (std::size_t index = 0; index < memberNames.size(); ++index) {
            if (memberNames[index] == name) {
                return &memberValues[index];
            }
        }
        return nullptr;
    }
};

// A small JSON reader: enough for what sway sends, strict about structure, lenient about nothing.
class Reader {
  public:
    explicit Reader(std::string_view input) : text(input) {}

    bool ReadDocument(Value& value) {
        if (!ReadValue(value, 0)) {
            return false;
        }
        SkipSpace();
        return position == text.size();
    }

  private:
    void SkipSpace() {
        while (position < text.size() && (text[position] == ' ' || text[position] == '\n' ||
                                          text[position] == '\r' || text[position] == '\t')) {
            ++position;
        }
    }

    bool Take(char expected) {
        SkipSpace();
        if (position < text.size() && text[position] == expected) {
            ++position;
            return true;
        }
        return false;
    }

    bool TakeWord(std::string_view word) {
        if (text.substr(position, word.size()) == word) {
            position += word.size();
            return true;
        }
        return false;
    }

    bool ReadValue(Value& value, int depth) {
        if (depth > kMaxDepth) {
            return false;
        }
        SkipSpace();
        if (position >= text.size()) {
            return false;
        }
        const char first = text[position];
        if (first == '{') {
            value.kind = Value::Kind::Object;
            ++position;
            if (Take('}')) {
                return true;
            }
            do {
                std::string key;
                SkipSpace();
                if (!ReadString(key) || !Take(':')) {
                    return false;
                }
                value.memberNames.push_back(std::move(key));
                value.memberValues.emplace_back();
                if (!ReadValue(value.memberValues.back(), depth + 1)) {
                    return false;
                }
            } while (Take(','));
            return Take('}');
        }
        if (first == '[') {
            value.kind = Value::Kind::Array;
            ++position;
            if (Take(']')) {
                return true;
            }
            do {
                value.items.emplace_back();
                if (!ReadValue(value.items.back(), depth + 1)) {
                    return false;
                }
            } while (Take(','));
            return Take(']');
        }
        if (first == '"') {
            value.kind = Value::Kind::String;
            return ReadString(value.text);
        }
        if (TakeWord("true")) {
            value.kind = Value::Kind::Boolean;
            value.boolean = true;
            return true;
        }
        if (TakeWord("false")) {
            value.kind = Value::Kind::Boolean;
            return true;
        }
        if (TakeWord("null")) {
            value.kind = Value::Kind::Null;
            return true;
        }
        return ReadNumber(value);
    }

    bool ReadNumber(Value& value) {
        const std::size_t start = position;
        while (position < text.size() &&
               (std::string_view("+-0123456789.eE").find(text[position]) != std::string_view::npos)) {
            ++position;
        }
        if (position == start) {
            return false;
        }
        const std::string digits(text.substr(start, position - start));
        char* end = nullptr;
        value.number = std::strtod(digits.c_str(), &end);
        value.kind = Value::Kind::Number;
        return end == digits.c_str() + digits.size();
    }

    // A string at the current position; escapes of code points beyond ASCII become UTF-8.
    bool ReadString(std::string& out) {
        if (position >= text.size() || text[position] != '"') {
            return false;
        }
        ++position;
        while (position < text.size()) {
            const char c = text[position++];
            if (c == '"') {
                return true;
            }
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (position >= text.size()) {
                return false;
            }
            const char escape = text[position++];
            switch (escape) {
                case 'n':
                    out.push_back('\n');
                    break;
                case 't':
                    out.push_back('\t');
                    break;
                case 'r':
                    out.push_back('\r');
                    break;
                case 'b':
                    out.push_back('\b');
                    break;
                case 'f':
                    out.push_back('\f');
                    break;
                case 'u': {
                    if (position + 4 > text.size()) {
                        return false;
                    }
                    const std::string hex(text.substr(position, 4));
                    char* end = nullptr;
                    const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
                    if (end != hex.c_str() + 4) {
                        return false;
                    }
                    position += 4;
                    AppendUtf8(out, static_cast<std::uint32_t>(code));
                    break;
                }
                default:
                    out.push_back(escape);
                    break;
            }
        }
        return false;
    }

    static void AppendUtf8(std::string& out, std::uint32_t code) {
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }

    std::string_view text;
    std::size_t position = 0;
};

std::int32_t Int32Of(const Value* value) {
    if (value == nullptr || value->kind != Value::Kind::Number || !std::isfinite(value->number)) {
        return 0;
    }
    const double limited = std::fmin(std::fmax(value->number, std::numeric_limits<std::int32_t>::min()),
                                     std::numeric_limits<std::int32_t>::max());
    return static_cast<std::int32_t>(limited);
}

std::optional<Rect> RectOf(const Value* value) {
    if (value == nullptr || value->kind != Value::Kind::Object) {
        return std::nullopt;
    }
    const std::int32_t x = Int32Of(value->Member("x"));
    const std::int32_t y = Int32Of(value->Member("y"));
    return Rect{x, y, x + Int32Of(value->Member("width")), y + Int32Of(value->Member("height"))};
}

bool IsOfType(const Value& node, std::string_view type) {
    const Value* value = node.Member("type");
    return value != nullptr && value->kind == Value::Kind::String && value->text == type;
}

// The focused node below node, and in output the output node it lies in.
const Value* FindFocused(const Value& node, int depth, const Value*& output) {
    if (depth > kMaxDepth || node.kind != Value::Kind::Object) {
        return nullptr;
    }
    if (IsOfType(node, "output")) {
        output = &node;
    }
    if (const Value* focused = node.Member("focused");
        focused != nullptr && focused->kind == Value::Kind::Boolean && focused->boolean) {
        return &node;
    }
    for (const char* children : {"nodes", "floating_nodes"}) {
        const Value* list = node.Member(children);
        if (list == nullptr || list->kind != Value::Kind::Array) {
            continue;
        }
        for (const Value& child : list->items) {
            const Value* outputBelow = output;
            if (const Value* found = FindFocused(child, depth + 1, outputBelow)) {
                output = outputBelow;
                return found;
            }
        }
    }
    return nullptr;
}

}  // namespace

std::optional<FocusedWindow> FindFocusedWindow(std::string_view treeJson) {
    Value root;
    if (!Reader(treeJson).ReadDocument(root)) {
        return std::nullopt;
    }
    const Value* output = nullptr;
    const Value* node = FindFocused(root, 0, output);
    if (node == nullptr || output == nullptr) {
        return std::nullopt;
    }
    const Value* appId = node->Member("app_id");
    const Value* properties = node->Member("window_properties");
    const bool waylandWindow = appId != nullptr && appId->kind == Value::Kind::String;
    const bool xWindow = properties != nullptr && properties->kind == Value::Kind::Object;
    if (!waylandWindow && !xWindow) {
        return std::nullopt;
    }
    const std::optional<Rect> outer = RectOf(node->Member("rect"));
    const std::optional<Rect> inner = RectOf(node->Member("window_rect"));
    const std::optional<Rect> outputRect = RectOf(output->Member("rect"));
    if (!outer || !inner || !outputRect) {
        return std::nullopt;
    }
    FocusedWindow window;
    window.output = *outputRect;
    const Value* id = node->Member("id");
    window.id = id != nullptr && id->kind == Value::Kind::Number ? static_cast<std::int64_t>(id->number) : 0;
    // window_rect is relative to the container's rectangle.
    window.content = Rect{outer->left + inner->left, outer->top + inner->top,
                          outer->left + inner->left + static_cast<std::int32_t>(inner->Width()),
                          outer->top + inner->top + static_cast<std::int32_t>(inner->Height())};
    if (waylandWindow) {
        window.className = appId->text;
    } else if (const Value* xClass = properties->Member("class");
               xClass != nullptr && xClass->kind == Value::Kind::String) {
        window.className = xClass->text;
    }
    return window;
}

}  // namespace platform::linux_wayland
