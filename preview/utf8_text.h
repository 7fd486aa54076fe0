// Text that the preview shows or answers with (parser messages quoting a
// project's bytes, event names, output texts) may hold bytes that are not
// UTF-8; the JSON answers and the overlay need UTF-8, so such text is mended
// before it goes out.
#pragma once

#include <string>
#include <string_view>

// `text` with every byte that does not begin or continue a well-formed UTF-8
// sequence (overlong forms, surrogates and code points past U+10FFFF count
// as ill-formed) replaced by U+FFFD. Valid text comes back unchanged.
std::string valid_utf8(std::string_view text);
