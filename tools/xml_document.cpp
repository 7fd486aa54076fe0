#include "tools/xml_document.h"

#include <charconv>
#include <cstdint>

#include "serialization/content_error.h"

const std::string* XmlElement::attribute(std::string_view attribute_name) const {
    for (const auto& [key, value] : attributes)
        if (key == attribute_name) return &value;
    return nullptr;
}

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// ASCII letters, '_' and ':' start a name; bytes of multi-byte UTF-8
// sequences are taken as letters, since names beyond ASCII are legal.
bool is_name_start(char c) {
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '_' || u == ':' || u >= 0x80;
}
bool is_name_char(char c) {
    return is_name_start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void append_utf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    XmlElement document() {
        if (at("\xEF\xBB\xBF")) i_ += 3;
        // The declaration may only come first; anywhere else "<?xml" is an error.
        if (at("<?xml") && i_ + 5 < s_.size() && is_space(s_[i_ + 5])) skip_past("?>", "XML declaration");
        skip_misc();
        if (!at("<") || i_ + 1 >= s_.size() || !is_name_start(s_[i_ + 1]))
            fail(i_ >= s_.size() ? "no root element" : "expected the root element");
        XmlElement root = element_tree();
        skip_misc();
        if (i_ < s_.size()) fail("content after the root element");
        return root;
    }

private:
    std::string_view s_;
    size_t i_ = 0;
    int line_ = 1;
    size_t elements_ = 1;

    [[noreturn]] void fail(const std::string& what) const {
        throw ContentError("line " + std::to_string(line_) + ": " + what);
    }

    bool at(std::string_view token) const { return s_.substr(i_, token.size()) == token; }

    void advance(size_t n) {
        for (size_t end = std::min(s_.size(), i_ + n); i_ < end; ++i_)
            if (s_[i_] == '\n') ++line_;
    }

    void skip_spaces() {
        while (i_ < s_.size() && is_space(s_[i_])) advance(1);
    }

    // Moves past the next END; WHAT names the construct left open otherwise.
    void skip_past(std::string_view end, const char* what) {
        const size_t found = s_.find(end, i_);
        if (found == std::string_view::npos) fail(std::string("unterminated ") + what);
        advance(found + end.size() - i_);
    }

    // Comments, processing instructions and blanks around the root.
    void skip_misc() {
        for (;;) {
            skip_spaces();
            if (at("<!--")) skip_past("-->", "comment");
            else if (at("<?xml") && i_ + 5 < s_.size() && is_space(s_[i_ + 5])) fail("XML declaration after the start");
            else if (at("<?")) skip_past("?>", "processing instruction");
            else if (at("<!DOCTYPE")) fail("a DOCTYPE is not read");
            else return;
        }
    }

    std::string name(const char* what) {
        if (i_ >= s_.size() || !is_name_start(s_[i_])) fail(std::string("expected ") + what);
        const size_t start = i_;
        while (i_ < s_.size() && is_name_char(s_[i_])) ++i_;
        return std::string(s_.substr(start, i_ - start));
    }

    // At '&': appends what the reference stands for.
    void reference(std::string& out) {
        const size_t semicolon = s_.find(';', i_);
        if (semicolon == std::string_view::npos || semicolon - i_ > 12) fail("'&' that starts no reference");
        const std::string_view body = s_.substr(i_ + 1, semicolon - i_ - 1);
        if (body == "lt") out += '<';
        else if (body == "gt") out += '>';
        else if (body == "amp") out += '&';
        else if (body == "quot") out += '"';
        else if (body == "apos") out += '\'';
        else if (body.size() >= 2 && body[0] == '#') {
            const bool hex = body[1] == 'x';
            const std::string_view digits = body.substr(hex ? 2 : 1);
            uint32_t cp = 0;
            const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), cp, hex ? 16 : 10);
            if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || cp == 0 ||
                cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
                fail("bad character reference &" + std::string(body) + ";");
            append_utf8(out, cp);
        } else {
            fail("unknown entity &" + std::string(body) + ";");
        }
        i_ = semicolon + 1;
    }

    std::string attribute_value() {
        if (i_ >= s_.size() || (s_[i_] != '"' && s_[i_] != '\'')) fail("attribute value without quotes");
        const char quote = s_[i_++];
        std::string value;
        for (;;) {
            if (i_ >= s_.size()) fail("unterminated attribute value");
            const char c = s_[i_];
            if (c == quote) break;
            if (c == '<') fail("'<' inside an attribute value");
            if (c == '&') reference(value);
            else {
                value += c;
                advance(1);
            }
        }
        ++i_;
        return value;
    }

    // At '<' NAME: reads the start tag into E. True when it closes itself.
    bool start_tag(XmlElement& e) {
        e.line = line_;
        ++i_;
        e.name = name("an element name");
        for (;;) {
            const size_t before = i_;
            skip_spaces();
            if (at("/>")) {
                i_ += 2;
                return true;
            }
            if (at(">")) {
                ++i_;
                return false;
            }
            if (i_ == before) fail("expected '>' or an attribute in <" + e.name + ">");
            std::string key = name("an attribute name");
            skip_spaces();
            if (!at("=")) fail("attribute " + key + " without a value");
            ++i_;
            skip_spaces();
            if (e.attribute(key)) fail("attribute " + key + " given twice in <" + e.name + ">");
            if (e.attributes.size() >= kMaxXmlAttributes) fail("more than 256 attributes in <" + e.name + ">");
            e.attributes.emplace_back(std::move(key), attribute_value());
        }
    }

    // Text between tags: dropped, but its references must be well-formed.
    void text() {
        std::string ignored;
        while (i_ < s_.size() && s_[i_] != '<') {
            if (s_[i_] == '&') {
                reference(ignored);
                ignored.clear();
            } else {
                advance(1);
            }
        }
    }

    // The element at '<' NAME and everything inside it, without recursion:
    // OPEN holds the chain of elements still open, each living in its
    // parent's children (only the innermost one gains children).
    XmlElement element_tree() {
        XmlElement root;
        if (start_tag(root)) return root;
        std::vector<XmlElement*> open{&root};
        while (!open.empty()) {
            text();
            if (i_ >= s_.size())
                throw ContentError("line " + std::to_string(line_) + ": <" + open.back()->name + "> of line " +
                                   std::to_string(open.back()->line) + " is not closed");
            if (at("</")) {
                i_ += 2;
                const std::string closing = name("an element name after '</'");
                skip_spaces();
                if (!at(">")) fail("expected '>' after </" + closing);
                ++i_;
                if (closing != open.back()->name)
                    fail("</" + closing + "> closes <" + open.back()->name + "> of line " +
                         std::to_string(open.back()->line));
                open.pop_back();
            } else if (at("<!--")) {
                skip_past("-->", "comment");
            } else if (at("<![CDATA[")) {
                skip_past("]]>", "CDATA section");
            } else if (at("<?")) {
                skip_past("?>", "processing instruction");
            } else if (at("<!")) {
                fail("markup declarations are not read");
            } else {
                if (open.size() >= static_cast<size_t>(kMaxXmlDepth))
                    fail("elements nested deeper than " + std::to_string(kMaxXmlDepth));
                if (++elements_ > kMaxXmlElements)
                    fail("more than " + std::to_string(kMaxXmlElements) + " elements");
                XmlElement& child = open.back()->children.emplace_back();
                if (!start_tag(child)) open.push_back(&child);
            }
        }
        return root;
    }
};

}  // namespace

XmlElement parse_xml(std::string_view text) { return Parser(text).document(); }
