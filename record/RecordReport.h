#pragma once

#include <string>
#include <string_view>

#include "record/RecordEntry.h"
#include "record/RecordSource.h"
#include "record/ReportWords.h"

// The report made from a commissioning record, in one place for the tool and the page. Attempts
// are taken by their times, whatever the order of files and lines; units are told apart by their
// labels, and a unit's latest attempt decides whether it counts as confirmed.
// Attempts that name no unit are counted, and listed only when they failed. What is counted is in
// ReportTally.h, the words in ReportWords.h; each form of the report has a file of its own.
//
// Each form reads its record through a RecordSource and writes itself to a sink a piece at a
// time: the tool's report on a record of any size holds the record's units and a few bytes a line,
// never the record or the report whole. The forms of a whole record in memory, as the page has it,
// are the same written to one string (RecordReport.cpp).

void ReportSummary(RecordSource& source, Language language, const ReportSink& out);
void ReportCsv(RecordSource& source, const ReportSink& out);
// False, with nothing written, where the attempts do not fit a sheet (kMaxSheetRows of
// Workbook.h) or the workbook a zip (4 GiB).
bool ReportXlsx(RecordSource& source, Language language, const ReportSink& out);
void ReportHtml(RecordSource& source, Language language, std::string_view madeBy,
                std::string_view madeAt, const ReportSink& out);

// The summary as text: the record's first and last time, the programs that wrote it, the
// counts of units and attempts, then the last outcome of each unit.
std::string ReportSummary(const CommissioningRecord& record, Language language);

// One row per attempt for a spreadsheet or a script: UTF-8 with a byte order mark (so that
// spreadsheets do not guess another code page), CR LF row ends, fields quoted where they must be.
// The header is time, unit, port, outcome, ms, frame, then the values by name; outcomes are their
// names. Attempts in the order of their times.
std::string ReportCsv(const CommissioningRecord& record);

// The same as a workbook (.xlsx) that a spreadsheet opens without changing a cell: a sheet of
// attempts (labels, ports and frames as text, times as date-times, values as numbers) and a sheet
// of units with each unit's verdict, both with a frozen heading row and a filter, in a language.
std::string ReportXlsx(const CommissioningRecord& record, Language language);

// One self-contained HTML page (no script, nothing fetched) that prints on A4 and Letter, to
// hand over: the overall verdict with the units not confirmed, the record's times and programs,
// what made the report and when (madeBy "vkd37 1.2.0", madeAt a record time), a legend of the
// outcomes, one row per unit (those not confirmed first) with its last outcome and values, the
// failed attempts, and the summary; page numbers on every page.
std::string ReportHtml(const CommissioningRecord& record, Language language,
                       std::string_view madeBy, std::string_view madeAt);
