#include <memory>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "cli/Timestamp.h"
#include "cli/commands/Command.h"
#include "store/FileStore.h"
#include "record/RecordEntry.h"
#include "record/RecordReport.h"

namespace {

enum class ReportForm { kSummary, kCsv, kXlsx, kHtml };

// "line 7", "lines 7, 9, 12", at most ten numbers.
std::string LinesLeftOut(const std::vector<std::size_t>& numbers) {
    constexpr std::size_t kNamed = 10;
    std::string text = numbers.size() == 1 ? "line " : "lines ";
    for (std::size_t i = 0; i < numbers.size() && i < kNamed; ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(numbers[i]);
    }
    if (numbers.size() > kNamed) {
        text += " and " + std::to_string(numbers.size() - kNamed) + " more";
    }
    return text + (numbers.size() == 1 ? " is not a record entry" : " are not record entries") +
           ", left out";
}

// The report of one record kept in one or more files, read in the order given.
int Report(const std::vector<std::string>& records, ReportForm form) {
    if (form == ReportForm::kXlsx && OutputIsTerminal()) {
        throw CommandError(kExitUsage, "a spreadsheet is a file, not text for a terminal: "
                                       "vkd37 report RECORD --xlsx > report.xlsx");
    }
    // Far beyond years of records (a line is under 500 bytes); the file is read whole.
    constexpr std::size_t kRecordReadLimit = std::size_t{1} << 30;
    CommissioningRecord record;
    for (const std::string& path : records) {
        std::string text;
        FileFailure failure;
        if (ReadFileContents(path.c_str(), kRecordReadLimit, text, failure) != ReadOutcome::kRead) {
            throw CommandError(kExitUsage, failure.text);
        }
        if (text.size() == kRecordReadLimit) {
            throw CommandError(kExitUsage, "cannot read " + path + ": it is larger than " +
                                               std::to_string(kRecordReadLimit >> 20) + " MiB");
        }
        const std::vector<std::size_t> leftOut = ReadRecordText(text, record);
        if (!leftOut.empty()) {
            Complain(path + ": " + LinesLeftOut(leftOut));
        }
    }
    switch (form) {
    case ReportForm::kSummary:
        WriteOut(ReportSummary(record, Language::kEnglish));
        break;
    case ReportForm::kCsv:
        WriteOutBytes(ReportCsv(record));
        break;
    case ReportForm::kXlsx:
        WriteOutBytes(ReportXlsx(record, Language::kEnglish));
        break;
    case ReportForm::kHtml:
        WriteOut(ReportHtml(record, Language::kEnglish, kProgram, UtcTimestamp()));
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
