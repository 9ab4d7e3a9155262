#pragma once

#include <string>
#include <string_view>

#include "record/RecordEntry.h"
#include "record/ReportWords.h"

// The report made from a commissioning record, in one place for the tool and the page. Units are
// told apart by their labels; a unit's last attempt decides whether it counts as confirmed.
// Attempts that name no unit are counted, and listed only when they failed. What is counted is in
// ReportTally.h, the words in ReportWords.h; each form of the report has a file of its own.

// The summary as text: the record's first and last time, the programs that wrote it, the
// counts of units and attempts, then the last outcome of each unit.
std::string ReportSummary(const CommissioningRecord& record, Language language);

// One row per attempt for a spreadsheet: UTF-8 with a byte order mark (so that spreadsheets do
// not guess another code page), CR LF row ends, fields quoted where they must be. The header is
// time, unit, port, outcome, ms, frame, then the values by name; outcomes are their names.
std::string ReportCsv(const CommissioningRecord& record);

// One self-contained HTML page (no script, nothing fetched) that prints on A4 and Letter: the
// record's times and programs, one row per unit with its last outcome and values, the failed
// attempts, and the summary. madeBy names the program making it ("vkd37 1.0.0.1").
std::string ReportHtml(const CommissioningRecord& record, Language language,
                       std::string_view madeBy);
