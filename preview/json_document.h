// JsonDocument: a project file kept as the text it was read from, with the
// byte span of every value, so that an edit replaces only the bytes of the
// values it changes. Every other key, value, number spelling, order and
// space stays as the author (or another tool) wrote it, and a file saved
// with no edit is the file that was read.
//
// Life: parse() the file's text; build TextPatches with the helpers below;
// apply() them (the spans are indexed again after each); text() is what is
// saved. A patch's inverse() undoes it exactly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Replaces `removed` (which must be the bytes at `at`) by `inserted`.
struct TextPatch {
    size_t at = 0;
    std::string removed;
    std::string inserted;
    TextPatch inverse() const { return {at, inserted, removed}; }
};

class JsonDocument {
public:
    enum class Kind { Null, Bool, Number, String, Array, Object };
    static constexpr size_t kNone = static_cast<size_t>(-1);
    // Deeper nesting is refused rather than risking the stack on a hostile file.
    static constexpr int kMaxDepth = 256;

    struct Value {
        Kind kind = Kind::Null;
        size_t begin = 0, end = 0;                   // the value's bytes: [begin, end)
        size_t key_begin = kNone, key_end = kNone;   // object members: the quoted key
        std::string key;                             // object members: the key, unescaped
        std::vector<int> children;                   // items or members, in text order
    };

    // Takes `text` when it is one JSON value (with spaces around it);
    // otherwise returns false with `error` and keeps what it had.
    bool parse(std::string text, std::string& error);
    bool empty() const { return values_.empty(); }

    const std::string& text() const { return text_; }
    const Value& value(int v) const { return values_.at(static_cast<size_t>(v)); }
    std::string_view slice(int v) const;
    int root() const { return values_.empty() ? -1 : 0; }

    // The last member named `key` of object `v` (readers keep the last of
    // repeated keys), or -1 when `v` is not an object or has none.
    int member(int v, std::string_view key) const;
    // Item `index` of array `v`, or -1.
    int item(int v, size_t index) const;
    size_t size(int v) const { return v < 0 ? 0 : value(v).children.size(); }

    // ---- Patches (built against the current text) ---------------------------
    TextPatch replace(int v, std::string text) const;
    // Array `array` gets `item_text` as its item `index` (0 .. size), with
    // the separator its items already use.
    TextPatch insert_item(int array, size_t index, const std::string& item_text) const;
    TextPatch remove_item(int container, size_t index) const;
    // Object `object` gets member `key` (raw JSON value text) at its end.
    TextPatch add_member(int object, std::string_view key, const std::string& value_text) const;
    // The key of member `member` becomes `key`.
    TextPatch rename_member(int member, std::string_view key) const;

    // Applies `patch` and indexes the result; false (and no change) when the
    // patch does not match the text or the result is not JSON.
    bool apply(const TextPatch& patch, std::string& error);

private:
    size_t element_begin(int v) const;
    std::string separator(int container) const;

    std::string text_;
    std::vector<Value> values_;
};

// JSON spellings the patches write: the shortest text that reads back as the
// same float, and a quoted, escaped string.
std::string json_number(float value);
std::string json_string(std::string_view text);
