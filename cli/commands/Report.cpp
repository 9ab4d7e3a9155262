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
#include "record/StationRecord.h"
#include "cli/ValueSources.h"

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

struct ReportOptions {
    std::vector<std::string> records;
    bool xlsx = false;
    bool csv = false;
    bool html = false;
    bool verify = false;
    std::string profile; // units are held against it; empty: each against its own
};

// Each file's chain: exit status 1 where one is broken.
int Verify(const GatheredRecord& gathered) {
    bool held = true;
    for (const RecordFileFacts& file : gathered.files) {
        PrintLine(file.name + ": " + ChainText(file.chain));
        held = held && file.chain.state != ChainState::kBroken;
    }
    return held ? kExitDone : kExitUploadFailed;
}

// The report of one record kept in one or more files, read in the order given.
int Report(const ReportOptions& options) {
    const std::vector<std::string>& records = options.records;
    const ReportForm form = options.xlsx   ? ReportForm::kXlsx
                            : options.csv  ? ReportForm::kCsv
                            : options.html ? ReportForm::kHtml
                                           : ReportForm::kSummary;
    if (form == ReportForm::kXlsx && OutputIsTerminal()) {
        throw CommandError(kExitUsage, "a spreadsheet is a file, not text for a terminal: "
                                       "vkd37 report RECORD --xlsx > report.xlsx");
    }
    // Far beyond years of records (a line is under 500 bytes); the file is read whole.
    constexpr std::size_t kRecordReadLimit = std::size_t{1} << 30;
    const std::optional<Profile> against =
        options.profile.empty() ? std::nullopt : std::optional(LoadProfile(options.profile));
    GatheredRecord gathered;
    const CommissioningRecord& record = gathered.record;
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
        const std::vector<std::size_t>& leftOut = GatherRecordFile(path, text, gathered).leftOut;
        if (!leftOut.empty()) {
            Complain(path + ": " + LinesLeftOut(leftOut));
        }
    }
    if (options.verify) {
        return Verify(gathered);
    }
    switch (form) {
    case ReportForm::kSummary:
        WriteOut(ReportSummary(record, Language::kEnglish) +
                 StationFactsText(gathered, StationFactsOf(record, against ? &*against : nullptr)));
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
    const auto options = std::make_shared<ReportOptions>();
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
    command.add_flag("--verify", options->verify,
                     "check each file's chain of lines and name the first line where it breaks "
                     "(a line changed, removed or put in); exit status 1 where one does");
    command
        .add_option("--profile", options->profile,
                    "name each confirmed unit whose values differ from this profile's (without "
                    "it, from the profile its line names)")
        ->check(CommandLine::kPath);
    return [options] { return Report(*options); };
}
