#include <memory>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "cli/commands/Command.h"
#include "store/FileStore.h"
#include "record/RecordEntry.h"
#include "record/RecordReport.h"

namespace {

enum class ReportForm { kSummary, kCsv, kHtml };

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
        WriteOut(ReportCsv(record));
        break;
    case ReportForm::kHtml:
        WriteOut(ReportHtml(record, Language::kEnglish, kProgram));
        break;
    }
    return kExitDone;
}

} // namespace

CommandAction DeclareReport(CLI::App& command) {
    struct Options {
        std::vector<std::string> records;
        bool csv = false;
        bool html = false;
    };
    const auto options = std::make_shared<Options>();
    command.description(
        "summarise commissioning records (upload --log, the page's log): units, attempts and "
        "each unit's last outcome; or every attempt as CSV, or a page to print");
    command
        .add_option("RECORD", options->records, "record files, read as one record in this order")
        ->check(CommandLine::kPath)
        ->required();
    CLI::Option* asCsv =
        command.add_flag("--csv", options->csv,
                         "one row per attempt for a spreadsheet (UTF-8 with a byte order mark)");
    command
        .add_flag("--html", options->html,
                  "one self-contained HTML page to print (A4 or Letter): each unit's last "
                  "outcome and values, the failed attempts, the summary")
        ->excludes(asCsv);
    return [options] {
        return Report(options->records, options->csv    ? ReportForm::kCsv
                                        : options->html ? ReportForm::kHtml
                                                        : ReportForm::kSummary);
    };
}
