#pragma once

// The languages the programs' words come in: the page's two. The dialog and the tool speak
// English; the page, and the report it makes, either.
enum class Language { kEnglish, kChinese };

// The page's code for each, in the order of Language.
inline constexpr const char* kLanguageCodes[] = {"en", "zh"};
