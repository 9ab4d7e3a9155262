#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "cli/Timestamp.h"
#include "cli/commands/Command.h"
#include "cli/RecordFiles.h"
#include "cli/ValueSources.h"
#include "record/Profile.h"
#include "record/RecordChain.h"
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
    std::string head;    // the record's head as the station printed it: checked by --verify
    std::string profile; // units are held against it; empty: each against its own
};

// Each file's chain, and the last file's head against the one given: exit status 1 where one is
// broken or the head differs. A line cut short is a gap, not an edit: named, and no failure. A
// file with lines but not one record line (saved as UTF-16, replaced by other text) fails too:
// having no chain passes only a record written before the chain, whose lines read. An empty
// file passes: it is a record opened before its first line, and holds nothing a chain covers.
int Verify(const std::vector<RecordFileFacts>& files, const std::string& head) {
    bool held = true;
    for (const RecordFileFacts& file : files) {
        PrintLine(file.name + ": " + ChainText(file.chain, Language::kEnglish));
        held = held && file.chain.state != ChainState::kBroken;
        if (file.chain.lastLine > 0 && !file.chain.entries) {
            PrintLine(file.name + ": not one of its lines reads as a record line: it is no "
                                  "record, or was saved in another encoding than UTF-8");
            held = false;
        }
    }
    if (head.empty() || files.empty()) {
        PrintLine("No link covers a file's last line, only its head: compare the head with the "
                  "one the station printed (--head).");
        return held ? kExitDone : kExitUploadFailed;
    }
    // The head covers the last line of the last file with lines: a file after it with none (a
    // new, empty file) adds nothing to compare.
    const auto lastWithLines = std::find_if(
        files.rbegin(), files.rend(), [](const auto& file) { return file.chain.lastLine > 0; });
    if (lastWithLines == files.rend()) {
        PrintLine(files.back().name + ": no lines, so no head to compare with " + head +
                  ": the lines it covered were removed, or this is not the record it was "
                  "printed for");
        return kExitUploadFailed;
    }
    const RecordFileFacts& lastFile = *lastWithLines;
    const ChainCheck& last = lastFile.chain;
    std::string given = head;
    std::transform(given.begin(), given.end(), given.begin(), [](char c) {
        return c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    if (last.head.compare(0, given.size(), given) != 0) {
        PrintLine(lastFile.name + ": the head is " + ShortIdentity(last.head) + ", not " + head +
                  ": the last line, line " + std::to_string(last.lastLine) +
                  ", was changed, or lines were put in or removed since the head was printed");
        return kExitUploadFailed;
    }
    PrintLine(lastFile.name + ": the head is the one given");
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
        return Verify(source.Gathering().Files(), options.head);
    }
    if (form == ReportForm::kXlsx && OutputIsTerminal()) {
        throw CommandError(kExitUsage, "a spreadsheet is a file, not text for a terminal: "
                                       "vkd37 report RECORD --xlsx > report.xlsx");
    }
    const auto text = [](std::string_view piece) { WriteOut(std::string(piece)); };
    const auto bytes = [](std::string_view piece) { WriteOutBytes(std::string(piece)); };
    switch (form) {
    case ReportForm::kSummary:
        GatheredSummary(source, source.Gathering(), against ? &*against : nullptr,
                        Language::kEnglish, text);
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
        // A file is the same bytes on every system; only a console takes it as text.
        ReportHtml(source, Language::kEnglish, kProgram, UtcTimestamp(),
                   [terminal = OutputIsTerminal(), &text, &bytes](std::string_view piece) {
                       terminal ? text(piece) : bytes(piece);
                   });
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
    CLI::Option* verify = command.add_flag(
        "--verify", options->verify,
        "check each file's chain of lines and name the first line where it breaks (a line "
        "changed, removed or put in), and print its head, which covers the last line; exit "
        "status 1 where one does");
    command
        .add_option("--head", options->head,
                    "with --verify: the head the station printed for the last file (its first 12 "
                    "or more hex digits); exit status 1 where the file's differs")
        ->check([](const std::string& head) {
            return head.size() >= 12 && head.size() <= 64 &&
                           head.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos
                       ? std::string()
                       : std::string("a head is 12 to 64 hex digits");
        })
        ->needs(verify);
    command
        .add_option("--profile", options->profile,
                    "name each confirmed unit whose values differ from this profile's (without "
                    "it, from the profile its line names)")
        ->check(CommandLine::kPath);
    return [options] { return Report(*options); };
}
