#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A unit's label as text: where it begins and ends, and how a terminal shows it. Texts are UTF-8.

// Without the blanks around it: spaces, tabs, line and page ends, and the ideographic space
// U+3000 that a Chinese input method types for a space.
std::string TrimmedLabel(std::string_view label);

// The text with every control character escaped (\n, \r, \t, \x1B, \u2028...): the C0 and C1
// controls, DEL, the line and paragraph separators, the bidirectional controls and the format
// characters that show nothing (\u200B, \uFEFF, \xAD). A label can then neither begin a line of
// its own nor turn a row of columns around, nor read as another.
std::string EscapedControls(std::string_view text);

// A unit's label as every report and message shows it: its controls escaped, and its backslashes
// doubled, so that a label typed as "G-1\u200B" does not read as "G-1" with a zero-width space
// after it. Two labels that differ are shown differently.
std::string ShownLabel(std::string_view label);

// The columns a terminal gives the text, by the Unicode tables: two for East Asian wide and
// full-width characters (emoji among them) and for a character the emoji selector U+FE0F follows,
// none for combining marks and zero-width characters, one for the rest.
std::size_t ColumnWidth(std::string_view text);
