#include <memory>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "cli/Timestamp.h"
#include "cli/commands/Command.h"
#include "cli/RecordFiles.h"
#include "cli/ValueSources.h"
#include "record/RecordReport.h"
#include "record/StationRecord.h"
#include "record/Workbook.h"

namespace {

enum class ReportForm { kSummary, kCsv, kXlsx, kHtml };

struct ReportOptions {
    std::vector<std::string> records;
    bool xlsx = false;
    bool csv = false;
    bool html = false;
    bool verify = false;
    std::string profile; // units are held against it; empty: each against its own
};

// Each file's chain: exit status 1 where one is broken.
int Verify(const std::vector<RecordFileFacts>& files) {
    bool held = true;
    for (const RecordFileFacts& file : files) {
        PrintLine(file.name + ": " + ChainText(file.chain));
        held = held && file.chain.state != ChainState::kBroken;
    }
    return held ? kExitDone : kExitUploadFailed;
}

// The report of one record kept in one or more files, read in the order given, a chunk at a time,
// and written a piece at a time; then, for the summary, what the stations' records say, read once
// more where the lines name profiles or stations.
int Report(const ReportOptions& options) {
    const std::vector<std::string>& records = options.records;
    const ReportForm form = options.xlsx   ? ReportForm::kXlsx
                            : options.csv  ? ReportForm::kCsv
                            : options.html ? ReportForm::kHtml
                                           : ReportForm::kSummary;
    const std::optional<Profile> against =
        options.profile.empty() ? std::nullopt : std::optional(LoadProfile(options.profile));
    RecordFiles source(records);
    if (options.verify) {
        source.Gather();
        return Verify(source.Gathering().Files());
    }
    if (form == ReportForm::kXlsx && OutputIsTerminal()) {
        throw CommandError(kExitUsage, "a spreadsheet is a file, not text for a terminal: "
                                       "vkd37 report RECORD --xlsx > report.xlsx");
    }
    const auto text = [](std::string_view piece) { WriteOut(std::string(piece)); };
    const auto bytes = [](std::string_view piece) { WriteOutBytes(std::string(piece)); };
    switch (form) {
    case ReportForm::kSummary:
        ReportSummary(source, Language::kEnglish, text);
        WriteOut(StationFactsText(source.Gathering().Files(),
                                  against || source.Gathering().NamesProfilesOrStations()
                                      ? StationFactsOf(source, against ? &*against : nullptr)
                                      : StationFacts()));
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
