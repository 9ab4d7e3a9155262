#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-8, the one encoding of text inside our programs and in the record.

void AppendUtf8(std::string& out, char32_t code);

// The length of the UTF-8 sequence at the front of text, or 0 when it is not one (overlong
// forms and surrogates included).
std::size_t Utf8SequenceLength(std::string_view text);

bool IsUtf8(std::string_view text);

// The code points of text, a byte that is not UTF-8 as U+FFFD.
std::u32string CodePoints(std::string_view text);
