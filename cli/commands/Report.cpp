#include <memory>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "cli/Timestamp.h"
#include "cli/commands/Command.h"
#include "cli/RecordFiles.h"
#include "record/RecordReport.h"
#include "record/Workbook.h"

namespace {

enum class ReportForm { kSummary, kCsv, kXlsx, kHtml };

// The report of one record kept in one or more files, read in the order given, a chunk at a time,
// and written a piece at a time.
int Report(const std::vector<std::string>& records, ReportForm form) {
    if (form == ReportForm::kXlsx && OutputIsTerminal()) {
        throw CommandError(kExitUsage, "a spreadsheet is a file, not text for a terminal: "
                                       "vkd37 report RECORD --xlsx > report.xlsx");
    }
    RecordFiles source(records);
    const auto text = [](std::string_view piece) { WriteOut(std::string(piece)); };
    const auto bytes = [](std::string_view piece) { WriteOutBytes(std::string(piece)); };
    switch (form) {
    case ReportForm::kSummary:
        ReportSummary(source, Language::kEnglish, text);
        break;
    case ReportForm::kCsv:
        ReportCsv(source, bytes);
        break;
    case ReportForm::kXlsx:
        if (!ReportXlsx(source, Language::kEnglish, bytes)) {
            throw CommandError(kExitUsage,
                               "the record does not fit a workbook, whose sheet holds at most " +
                                   std::to_string(kMaxSheetRows - 1) +
                                   " attempts in a file of at most 4 GiB: use --csv");
        }
        break;
    case ReportForm::kHtml:
        ReportHtml(source, Language::kEnglish, kProgram, UtcTimestamp(), text);
        break;
    }
    return kExitDone;
}

} // namespace

CommandAction DeclareReport(CLI::App& command) {
    struct Options {
        std::vector<std::string> records;
        bool xlsx = false;
        bool csv = false;
        bool html = false;
    };
    const auto options = std::make_shared<Options>();
    command.description(
        "summarise commissioning records (upload --log, the page's log): units, attempts and "
        "each unit's verdict by its latest attempt; or every attempt as a spreadsheet or CSV, or "
        "a report to print");
    command
        .add_option("RECORD", options->records, "record files, read as one record in this order")
        ->check(CommandLine::kPath)
        ->required();
    CLI::Option* asXlsx = command.add_flag(
        "--xlsx", options->xlsx,
        "a workbook for a spreadsheet (.xlsx, to a file): every attempt, labels, ports and frames "
        "as text, times as date-times; and each unit's verdict");
    CLI::Option* asCsv =
        command
            .add_flag("--csv", options->csv,
                      "one row per attempt for scripts (UTF-8 with a byte order mark)")
            ->excludes(asXlsx);
    command
        .add_flag("--html", options->html,
                  "one self-contained HTML report to print and sign (A4 or Letter): the overall "
                  "verdict, each unit's last outcome and values, the failed attempts, the summary")
        ->excludes(asCsv)
        ->excludes(asXlsx);
    return [options] {
        return Report(options->records, options->xlsx   ? ReportForm::kXlsx
                                        : options->csv  ? ReportForm::kCsv
                                        : options->html ? ReportForm::kHtml
                                                        : ReportForm::kSummary);
    };
}
