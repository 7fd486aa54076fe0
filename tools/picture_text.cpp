#include "tools/picture_text.h"

#include <cstdint>
#include <cstdio>

namespace picture_text {
namespace {

// Length of the sequence a lead byte announces, 0 for a byte that cannot lead.
int sequence_length(uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;  // continuation bytes, C0/C1 (always overlong), F5..FF
}

bool is_continuation(uint8_t b) { return (b & 0xC0) == 0x80; }

void append_escape(std::u32string& out, char32_t c) {
    char buffer[16];
    if (c < 0x100)
        std::snprintf(buffer, sizeof buffer, "\\x%02X", static_cast<unsigned>(c));
    else
        std::snprintf(buffer, sizeof buffer, "\\u{%04X}", static_cast<unsigned>(c));
    for (const char* p = buffer; *p; ++p) out.push_back(static_cast<char32_t>(*p));
}

// Code points that must not reach a picture as themselves: they are invisible,
// move the cursor, or are not characters XML allows.
bool needs_escape(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF;
}

void append_reference(std::string& out, char32_t c) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "&#%u;", static_cast<unsigned>(c));
    out += buffer;
}

void append_xml(std::string& out, char32_t c) {
    switch (c) {
        case U'&': out += "&amp;"; break;
        case U'<': out += "&lt;"; break;
        case U'>': out += "&gt;"; break;
        case U'"': out += "&quot;"; break;
        case U'\'': out += "&#39;"; break;
        default:
            if (c >= 0x20 && c < 0x7F)
                out.push_back(static_cast<char>(c));
            else
                append_reference(out, c);
    }
}

}  // namespace

std::u32string decode_utf8(std::string_view bytes) {
    std::u32string out;
    out.reserve(bytes.size());
    size_t i = 0;
    while (i < bytes.size()) {
        const uint8_t lead = static_cast<uint8_t>(bytes[i]);
        const int length = sequence_length(lead);
        if (length == 1) {
            out.push_back(lead);
            ++i;
            continue;
        }
        if (length == 0 || i + length > bytes.size()) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        char32_t c = lead & (0xFF >> (length + 1));
        bool ok = true;
        for (int k = 1; k < length; ++k) {
            const uint8_t b = static_cast<uint8_t>(bytes[i + k]);
            if (!is_continuation(b)) {
                ok = false;
                break;
            }
            c = (c << 6) | (b & 0x3F);
        }
        // Overlong three- and four-byte forms, surrogates and values past the
        // last code point are malformed even with good continuation bytes.
        if (ok && length == 3 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))) ok = false;
        if (ok && length == 4 && (c < 0x10000 || c > 0x10FFFF)) ok = false;
        if (!ok) {
            out.push_back(kReplacement);
            ++i;  // resynchronise on the next byte
            continue;
        }
        out.push_back(c);
        i += length;
    }
    return out;
}

std::u32string readable(std::string_view bytes, size_t max_chars) {
    const std::u32string decoded = decode_utf8(bytes);
    std::u32string out;
    out.reserve(decoded.size());
    for (char32_t c : decoded) {
        if (c == U'\n') {
            out += U"\\n";
        } else if (c == U'\t') {
            out += U"\\t";
        } else if (c == U'\r') {
            out += U"\\r";
        } else if (needs_escape(c)) {
            append_escape(out, c);
        } else {
            out.push_back(c);
        }
        if (max_chars != 0 && out.size() > max_chars) break;  // enough to know it is cut
    }
    if (max_chars != 0 && out.size() > max_chars) {
        out.resize(max_chars - 1);
        out.push_back(kEllipsis);
    }
    return out;
}

std::string xml_escape(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) append_xml(out, c);
    return out;
}

std::string dot_html_escape(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c == U'\\')
            out += "\\\\";
        else
            append_xml(out, c);
    }
    return out;
}

std::string dot_escape(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        switch (c) {
            case U'"': out += "\\\""; break;
            case U'\\': out += "\\\\"; break;
            case U'&': out += "&amp;"; break;
            default:
                if (c >= 0x20 && c < 0x7F)
                    out.push_back(static_cast<char>(c));
                else
                    append_reference(out, c);
        }
    }
    return out;
}

}  // namespace picture_text
