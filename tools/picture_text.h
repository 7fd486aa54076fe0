// Text from content, made safe to show in the pictures qvtool draws (Graphviz
// DOT files and SVG files).
//
// Content strings are arbitrary bytes: they may hold quotes, backslashes,
// markup characters, control characters and byte sequences that are not
// UTF-8. Showing one takes two steps: `readable` turns the bytes into code
// points a person can read on one line (invalid UTF-8 becomes U+FFFD, control
// and non-character code points become visible escapes such as \n or \x07,
// long texts are shortened with an ellipsis); an escaper then writes those
// code points for the target syntax, with everything outside ASCII as a
// numeric character reference so the output is plain ASCII whatever the bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace picture_text {

inline constexpr char32_t kReplacement = 0xFFFD;
inline constexpr char32_t kEllipsis = 0x2026;

// Code points of `bytes`; every byte that does not start a well-formed UTF-8
// sequence (overlong forms, surrogates and values past U+10FFFF included)
// becomes one U+FFFD.
std::u32string decode_utf8(std::string_view bytes);

// One readable line: at most `max_chars` code points (the last being U+2026
// when the text was cut; 0 means no limit). Tab, newline and carriage return
// show as \t, \n, \r; other C0 and C1 controls, DEL, U+FFFE and U+FFFF as
// \xNN or \u{NNNN}.
std::u32string readable(std::string_view bytes, size_t max_chars);

// XML character data and attribute values: & < > " ' as references, ASCII
// printable as is, every other code point as &#N;.
std::string xml_escape(std::u32string_view text);

// Text inside a Graphviz HTML-like label: as xml_escape, and a backslash is
// doubled, since Graphviz replaces \N, \G and the other label escapes in HTML
// text too (and turns \\ back into one backslash).
std::string dot_html_escape(std::u32string_view text);

// The inside of a DOT double-quoted string shown as a label: " and \ get a
// backslash (so \N, \G and the other label escapes of Graphviz stay literal),
// & becomes &amp; (Graphviz reads entities in labels), every other code point
// outside printable ASCII becomes &#N;.
std::string dot_escape(std::u32string_view text);

// The common cases: readable(), then the escaper.
inline std::string xml_text(std::string_view bytes, size_t max_chars = 0) {
    return xml_escape(readable(bytes, max_chars));
}
inline std::string dot_text(std::string_view bytes, size_t max_chars = 0) {
    return dot_escape(readable(bytes, max_chars));
}
inline std::string dot_html_text(std::string_view bytes, size_t max_chars = 0) {
    return dot_html_escape(readable(bytes, max_chars));
}

}  // namespace picture_text
