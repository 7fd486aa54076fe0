// A small, strict XML reader for the files that sync trackers' editors save.
//
// It reads elements, attributes (in either quote), comments, the XML
// declaration and other processing instructions, CDATA sections, and the five
// named and the numeric character references; text between elements is
// checked and dropped. A DOCTYPE is refused, so no entity can expand into
// more than it spells. Input is bounded by the caller (the file's size),
// nesting and element count here; every fault ends in one ContentError that names
// the line.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

inline constexpr int kMaxXmlDepth = 64;
inline constexpr size_t kMaxXmlAttributes = 256;  // per element
// Elements of one document: an empty element is a few bytes of text but some
// hundred in memory, so their number is bounded, not only the text's size.
inline constexpr size_t kMaxXmlElements = size_t{1} << 21;

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // file order, references decoded
    std::vector<XmlElement> children;                             // elements only, file order
    int line = 0;                                                 // of the start tag

    // The value of attribute NAME, or null when the element has none.
    const std::string* attribute(std::string_view attribute_name) const;
};

// The root element of TEXT (UTF-8, with or without a byte-order mark).
// Throws ContentError ("line N: ...") on anything that is not well-formed.
XmlElement parse_xml(std::string_view text);
