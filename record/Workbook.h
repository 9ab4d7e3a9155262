#pragma once

#include <string>
#include <vector>

// A workbook as the report fills it, apart from the file format that carries it, so that what goes
// into which cell is decided once and every face writes the same file of it.
struct SheetCell {
    enum class Kind {
        kEmpty,
        kText,   // kept as typed, whatever it looks like: "007", "1E5", "2025-03-04"
        kNumber, // text holds the number in decimal
        kTime, // text holds the date-time as a day count from 1899-12-30, shown to the millisecond
    };
    Kind kind = Kind::kEmpty;
    std::string text;
};

// The first row is the heading: it stays in view and carries the filter.
struct Sheet {
    std::string name; // at most 31 characters, none of []:*?/ or backslash
    std::vector<std::vector<SheetCell>> rows;
};

// The workbook as an .xlsx file (Office Open XML in a zip whose parts are stored, not compressed).
std::string XlsxFile(const std::vector<Sheet>& sheets);
