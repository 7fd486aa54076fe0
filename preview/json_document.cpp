#include "preview/json_document.h"

#include <cctype>
#include <charconv>
#include <cstring>
#include <nlohmann/json.hpp>

namespace {

class Scanner {
public:
    Scanner(const std::string& text, std::vector<JsonDocument::Value>& out) : s_(text), out_(out) {}

    bool run(std::string& error) {
        skip_space();
        if (!value(0)) {
            error = why_ + " at byte " + std::to_string(at_);
            return false;
        }
        skip_space();
        if (at_ != s_.size()) {
            error = "text after the JSON value at byte " + std::to_string(at_);
            return false;
        }
        return true;
    }

private:
    using Kind = JsonDocument::Kind;

    bool fail(const char* why) {
        why_ = why;
        return false;
    }
    void skip_space() {
        while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r')) ++at_;
    }
    bool literal(const char* word) {
        const size_t n = std::strlen(word);
        if (s_.compare(at_, n, word) != 0) return fail("unknown word");
        at_ += n;
        return true;
    }
    bool string_token() {
        if (at_ >= s_.size() || s_[at_] != '"') return fail("a string was expected");
        ++at_;
        while (at_ < s_.size()) {
            const unsigned char c = static_cast<unsigned char>(s_[at_]);
            if (c == '"') {
                ++at_;
                return true;
            }
            if (c < 0x20) return fail("a control character in a string");
            if (c == '\\') {
                if (at_ + 1 >= s_.size()) break;
                const char e = s_[at_ + 1];
                if (e == 'u') {
                    if (at_ + 6 > s_.size()) break;
                    for (size_t i = at_ + 2; i < at_ + 6; ++i)
                        if (!std::isxdigit(static_cast<unsigned char>(s_[i]))) return fail("a bad \\u escape");
                    at_ += 6;
                    continue;
                }
                if (!std::strchr("\"\\/bfnrt", e)) return fail("a bad escape");
                at_ += 2;
                continue;
            }
            ++at_;
        }
        return fail("an unterminated string");
    }
    bool number_token() {
        const size_t start = at_;
        if (at_ < s_.size() && s_[at_] == '-') ++at_;
        const auto digits = [&] {
            const size_t from = at_;
            while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') ++at_;
            return at_ > from;
        };
        if (at_ < s_.size() && s_[at_] == '0') ++at_;
        else if (!digits()) return fail("a bad number");
        if (at_ < s_.size() && s_[at_] == '.') {
            ++at_;
            if (!digits()) return fail("a bad number");
        }
        if (at_ < s_.size() && (s_[at_] == 'e' || s_[at_] == 'E')) {
            ++at_;
            if (at_ < s_.size() && (s_[at_] == '+' || s_[at_] == '-')) ++at_;
            if (!digits()) return fail("a bad number");
        }
        return at_ > start;
    }
    std::string key_of(size_t begin, size_t end) const {
        const std::string_view token(s_.data() + begin, end - begin);
        if (token.find('\\') == std::string_view::npos) return std::string(token.substr(1, token.size() - 2));
        try {
            return nlohmann::json::parse(token).get<std::string>();
        } catch (const std::exception&) {
            return std::string(token.substr(1, token.size() - 2));
        }
    }

    // Reads one value at the cursor into a new entry; returns false on error.
    bool value(int depth, size_t key_begin = JsonDocument::kNone, size_t key_end = JsonDocument::kNone,
               std::string key = {}) {
        if (depth > JsonDocument::kMaxDepth) return fail("nesting too deep");
        if (at_ >= s_.size()) return fail("the text ends early");
        const size_t self = out_.size();
        out_.emplace_back();
        out_[self].begin = at_;
        out_[self].key_begin = key_begin;
        out_[self].key_end = key_end;
        out_[self].key = std::move(key);
        const char c = s_[at_];
        Kind kind = Kind::Null;
        if (c == '{' || c == '[') {
            const bool object = c == '{';
            kind = object ? Kind::Object : Kind::Array;
            ++at_;
            skip_space();
            const char close = object ? '}' : ']';
            if (at_ < s_.size() && s_[at_] == close) {
                ++at_;
            } else {
                for (;;) {
                    const int child = static_cast<int>(out_.size());
                    if (object) {
                        const size_t kb = at_;
                        if (!string_token()) return false;
                        const size_t ke = at_;
                        skip_space();
                        if (at_ >= s_.size() || s_[at_] != ':') return fail("':' was expected");
                        ++at_;
                        skip_space();
                        if (!value(depth + 1, kb, ke, key_of(kb, ke))) return false;
                    } else if (!value(depth + 1)) {
                        return false;
                    }
                    out_[self].children.push_back(child);
                    skip_space();
                    if (at_ < s_.size() && s_[at_] == ',') {
                        ++at_;
                        skip_space();
                        continue;
                    }
                    if (at_ < s_.size() && s_[at_] == close) {
                        ++at_;
                        break;
                    }
                    return fail(object ? "',' or '}' was expected" : "',' or ']' was expected");
                }
            }
        } else if (c == '"') {
            kind = Kind::String;
            if (!string_token()) return false;
        } else if (c == 't' || c == 'f') {
            kind = Kind::Bool;
            if (!literal(c == 't' ? "true" : "false")) return false;
        } else if (c == 'n') {
            if (!literal("null")) return false;
        } else {
            kind = Kind::Number;
            if (!number_token()) return false;
        }
        out_[self].kind = kind;
        out_[self].end = at_;
        return true;
    }

    const std::string& s_;
    std::vector<JsonDocument::Value>& out_;
    size_t at_ = 0;
    std::string why_;
};

}  // namespace

bool JsonDocument::parse(std::string text, std::string& error) {
    std::vector<Value> values;
    Scanner scanner(text, values);
    if (!scanner.run(error)) return false;
    text_ = std::move(text);
    values_ = std::move(values);
    return true;
}

std::string_view JsonDocument::slice(int v) const {
    const Value& x = value(v);
    return std::string_view(text_).substr(x.begin, x.end - x.begin);
}

int JsonDocument::member(int v, std::string_view key) const {
    if (v < 0 || value(v).kind != Kind::Object) return -1;
    int found = -1;
    for (int c : value(v).children)
        if (value(c).key == key) found = c;
    return found;
}

int JsonDocument::item(int v, size_t index) const {
    if (v < 0 || value(v).kind != Kind::Array || index >= value(v).children.size()) return -1;
    return value(v).children[index];
}

size_t JsonDocument::element_begin(int v) const {
    const Value& x = value(v);
    return x.key_begin != kNone ? x.key_begin : x.begin;
}

std::string JsonDocument::separator(int container) const {
    const std::vector<int>& c = value(container).children;
    if (c.size() >= 2) return text_.substr(value(c[0]).end, element_begin(c[1]) - value(c[0]).end);
    return ", ";
}

TextPatch JsonDocument::replace(int v, std::string text) const {
    const Value& x = value(v);
    return {x.begin, text_.substr(x.begin, x.end - x.begin), std::move(text)};
}

TextPatch JsonDocument::insert_item(int array, size_t index, const std::string& item_text) const {
    const std::vector<int>& c = value(array).children;
    if (c.empty()) return {value(array).begin + 1, "", item_text};
    if (index < c.size()) return {element_begin(c[index]), "", item_text + separator(array)};
    return {value(c.back()).end, "", separator(array) + item_text};
}

TextPatch JsonDocument::remove_item(int container, size_t index) const {
    const std::vector<int>& c = value(container).children;
    size_t from = 0, to = 0;
    if (c.size() == 1) {
        from = element_begin(c[0]);
        to = value(c[0]).end;
    } else if (index + 1 < c.size()) {
        from = element_begin(c[index]);
        to = element_begin(c[index + 1]);
    } else {
        from = value(c[index - 1]).end;
        to = value(c[index]).end;
    }
    return {from, text_.substr(from, to - from), ""};
}

TextPatch JsonDocument::add_member(int object, std::string_view key, const std::string& value_text) const {
    return insert_item(object, size(object), json_string(key) + ": " + value_text);
}

TextPatch JsonDocument::rename_member(int member, std::string_view key) const {
    const Value& x = value(member);
    return {x.key_begin, text_.substr(x.key_begin, x.key_end - x.key_begin), json_string(key)};
}

bool JsonDocument::apply(const TextPatch& patch, std::string& error) {
    if (patch.at > text_.size() || text_.compare(patch.at, patch.removed.size(), patch.removed) != 0) {
        error = "the edit does not match the document";
        return false;
    }
    std::string next = text_;
    next.replace(patch.at, patch.removed.size(), patch.inserted);
    return parse(std::move(next), error);
}

std::string json_number(float value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string json_string(std::string_view text) { 
    // Bad bytes become U+FFFD rather than an exception: the text may come
    // from a command line.
    return nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
