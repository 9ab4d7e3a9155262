#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "cmdline/CommandLine.h"
#include "cli/Commands.h"
#include "cli/Output.h"
#include "store/ParameterFile.h"
#include "model/ParameterTable.h"
#include "platform/StopSignals.h"
#include "platform/SystemError.h"

#ifdef _WIN32
#include "platform/Text.h"
#else
#include "platform/StandardDescriptors.h"
#endif

namespace {

// Breaks text into lines of at most width characters at its spaces.
std::string Wrapped(const std::string& text, std::size_t width) {
    std::string wrapped;
    std::size_t lineStart = 0;
    for (std::size_t word = 0; word < text.size();) {
        const std::size_t end = std::min(text.find(' ', word), text.size());
        if (end - lineStart > width && word > lineStart) {
            wrapped.back() = '\n';
            lineStart = word;
        }
        wrapped.append(text, word, end - word);
        if (end < text.size()) {
            wrapped += ' ';
        }
        word = end + 1;
    }
    return wrapped;
}

// The names, words and exit statuses come from their tables, so the help cannot fall behind.
std::string Footer() {
    std::string names;
    for (const ParameterField& field : ParameterFields()) {
        names += (names.empty() ? "" : ", ") + std::string(field.name);
    }
    const ParameterField& source = FieldFor(&ParameterSet::m_nFwdSource);
    const ParameterField& flag = FieldFor(&ParameterSet::m_bAutoHome);
    std::string footer =
        Wrapped("Names for --set and set: " + names + ". Sources take " + ValueWords(source) +
                    " or " + std::to_string(source.min) + "-" + std::to_string(source.max) +
                    "; flags " + AcceptedText(flag) + ". FILE defaults to " + kParameterFileName +
                    " in the current directory; give it before --set.",
                90) +
        "\n\nExit status:\n";
    for (const ExitStatusMeaning& exit : kExitStatusMeanings) {
        footer += "  " + std::to_string(exit.status) + "  " + exit.meaning + "\n";
    }
    return footer;
}

void AddFile(CLI::App& command, std::string& file) {
    command.add_option("FILE", file, "parameter file")
        ->check(CommandLine::kPath)
        ->capture_default_str();
}

void AddChanges(CLI::App& command, std::vector<std::string>& assignments) {
    command.add_option("--set", assignments, "change values before use (NAME=VALUE ...)");
}

void AddJson(CLI::App& command, bool& json) {
    command.add_flag("--json", json, "print JSON instead of text");
}

// Each sub-command: its options, and the action its callback runs once they are parsed.
int Run(int argc, const char* const* argv) {
    CLI::App app{
        "Sets up VKD-37 motion controllers over a serial line: shows and changes\n"
        "parameter files, and uploads their values with the dialog's frame and echo rule.\n"
        "vkd37 COMMAND --help tells the options of one command.",
        "vkd37"};
    app.set_version_flag("--version", std::string("vkd37 ") + VKD_VERSION);
    // A path such as /dev/ttyUSB0 or a Wine path is never a "/x" Windows-style option.
    app.allow_windows_style_options(false);
    app.footer(Footer());
    app.require_subcommand(1);

    int status = kExitDone;
    bool json = false;

    std::string showFile = kParameterFileName;
    CLI::App* show = app.add_subcommand("show", "the 16 stored values with their valid ranges; "
                                                "marks those the dialog would refuse");
    AddFile(*show, showFile);
    AddJson(*show, json);
    show->callback([&] { status = ShowValues(showFile, json); });

    ValueSource changed;
    CLI::App* set = app.add_subcommand(
        "set", "change values in a parameter file under its lock, making a missing one from the "
               "start values; an out-of-range value, or a file whose values stop at something "
               "that is not a number, leaves it untouched");
    set->add_option("FILE", changed.file, "parameter file")->check(CommandLine::kPath)->required();
    set->add_option("NAME=VALUE", changed.assignments, "values to change")->required();
    set->callback([&] { status = SetValues(changed); });

    ValueSource framed{kParameterFileName, {}};
    CLI::App* frame =
        app.add_subcommand("frame", "print the 19-byte frame the values give, in hex");
    AddFile(*frame, framed.file);
    AddChanges(*frame, framed.assignments);
    AddJson(*frame, json);
    frame->callback([&] { status = PrintFrame(framed, json); });

    std::string hex;
    CLI::App* decode = app.add_subcommand("decode", "decode a frame given as 38 hex digits");
    decode->add_option("HEX", hex, std::string("the frame: ") + kHexFrameForm)->required();
    AddJson(*decode, json);
    decode->callback([&] { status = DecodeHex(hex, json); });

    UploadRequest upload;
    upload.values.file = kParameterFileName;
    CLI::App* send = app.add_subcommand(
        "upload", "validate the values, send the frame and wait for its exact echo");
    send->add_option("--port", upload.port,
                     "serial port: a device path on Linux, COMn (any n) on Windows")
        ->check(CommandLine::kPath)
        ->required();
    AddFile(*send, upload.values.file);
    AddChanges(*send, upload.values.assignments);
    send->add_flag("--repeat", upload.repeat,
                   "one controller after another: after each upload take the next unit's "
                   "label and Enter (typed or scanned; Enter alone for none, q stops), then "
                   "print a summary; a port whose line was lost or hung up is opened anew first");
    send->add_option(
            "--log", upload.logPath,
            "append one JSON line per attempt (time, unit, port, frame, outcome, ms, values, "
            "program), opened "
            "before anything is sent; a line that cannot be written is reported at once, "
            "and the exit status is then 4 if every upload was confirmed")
        ->check(CommandLine::kPath);
    send->add_option("--unit", upload.unit,
                     "the unit's label, kept in the record (with --repeat, the first unit's; "
                     "the prompt takes the next one's)");
    send->add_option("--unit-pattern", upload.unitPattern,
                     "refuse, before anything is sent, a unit label that does not match this "
                     "regular expression (ECMAScript syntax, the whole label); every unit then "
                     "needs a label");
    send->add_flag("--save", upload.save, "write the values used back to FILE");
    AddJson(*send, upload.json);
    send->callback([&] { status = Upload(upload); });

    std::vector<std::string> records;
    bool csv = false;
    bool html = false;
    CLI::App* report = app.add_subcommand(
        "report", "summarise commissioning records (upload --log, the page's log): units, "
                  "attempts and each unit's last outcome; or every attempt as CSV, or a page to "
                  "print");
    report->add_option("RECORD", records, "record files, read as one record in this order")
        ->check(CommandLine::kPath)
        ->required();
    CLI::Option* asCsv = report->add_flag(
        "--csv", csv, "one row per attempt for a spreadsheet (UTF-8 with a byte order mark)");
    report
        ->add_flag("--html", html,
                   "one self-contained HTML page to print (A4 or Letter): each unit's last "
                   "outcome and values, the failed attempts, the summary")
        ->excludes(asCsv);
    report->callback([&] {
        status = Report(records, csv    ? ReportForm::kCsv
                                 : html ? ReportForm::kHtml
                                        : ReportForm::kSummary);
    });

    CLI::App* ports = app.add_subcommand("ports", "list the serial ports present");
    AddJson(*ports, json);
    ports->callback([&] { status = ListPorts(json); });

    if (const std::optional<int> stop = CommandLine::Parse(app, argc, argv, std::cout, std::cerr)) {
        return *stop;
    }
    if (const std::optional<std::string> failure = OutputFailure()) {
        Complain("cannot write to standard output: " + *failure);
        // What upload printed is a copy: its status tells what the controller and the files got.
        // The other commands' output is all they do.
        if (!send->parsed()) {
            status = kExitUsage;
        }
    }
    return status;
}

int RunCatchingErrors(int argc, const char* const* argv) {
    try {
        return Run(argc, argv);
    } catch (const CommandError& error) {
        Complain(error.what());
        return error.Status();
    } catch (const std::exception& error) {
        Complain(error.what());
        return kExitUsage;
    }
}

// The one place an error or a stop signal becomes a message and an exit status. A command
// caught stopping has let go of its port and ended any save before it returns here.
int RunReportingErrors(int argc, const char* const* argv) {
    if (!CatchStopSignals()) {
        Complain("cannot catch signals: " + SystemErrorText(LastSystemError()));
        return kExitUsage;
    }
    const int status = RunCatchingErrors(argc, argv);
    if (const int signal = CaughtStopSignal()) {
        Complain(std::string("interrupted by ") + StopSignalName(signal));
        return 128 + signal;
    }
    return status;
}

} // namespace

#ifdef _WIN32
// A file we open never takes a standard handle's place on Windows, and a missing one only makes
// our writes fail: nothing to fill in, unlike POSIX below.

// The arguments as Windows has them, so that names in any script work whatever the code page.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        arguments.push_back(Utf8(argv[i]));
    }
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments) {
        pointers.push_back(argument.c_str());
    }
    return RunReportingErrors(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
    if (!FillClosedStandardDescriptors()) {
        return kExitUsage;
    }
    return RunReportingErrors(argc, argv);
}
#endif
