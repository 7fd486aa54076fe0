// The greedy encoder of compressed messages (see message_decompressor.h for
// the format). Its match finder fixes the exact bytes a writer produces, so
// content written twice, or by another writer of this format, is identical.
#pragma once

#include <string>
#include <string_view>

std::string compress_message(std::string_view input);
