#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "record/RecordSource.h"

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

// The rows a sheet holds at most, in the spreadsheets that read the file.
constexpr std::size_t kMaxSheetRows = 1048576;

using SheetRow = std::vector<SheetCell>;
using SheetRows = FunctionRef<void(const SheetRow& row)>;

// A sheet whose rows are made as they are written, so that none needs to be held: `rows` (which
// must outlive the call to XlsxFile) calls `row` for each, the heading first, and may be asked for
// them more than once. The first row is the heading: it stays in view and carries the filter.
struct Sheet {
    std::string name; // at most 31 characters, none of []:*?/ or backslash
    FunctionRef<void(SheetRows row)> rows;
};

// The workbook as an .xlsx file (Office Open XML in a zip whose parts are stored, not compressed),
// written a piece at a time: each sheet's rows are asked for three times (for the columns'
// widths, for the part's size and CRC-32, which the zip wants before it, and to be written).
// False, with nothing written, where a sheet has more than kMaxSheetRows rows or the file would
// pass the 4 GiB a zip without its 64-bit extension holds.
bool XlsxFile(const std::vector<Sheet>& sheets, const ReportSink& out);
