#include <algorithm>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "console/CommandLine.h"
#include "cli/ExitStatus.h"
#include "cli/Output.h"
#include "cli/commands/Command.h"
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

// What a command prints: all it does, or a copy of what it did, whose exit status tells what the
// controller and the files got.
enum class Printed { kIsTheWork, kIsACopy };

struct CommandEntry {
    const char* name;
    CommandAction (*declare)(CLI::App& command);
    Printed printed;
};

// The subcommands, in the order --help lists them.
// clang-format off
constexpr CommandEntry kCommands[] = {
    {"show",   DeclareShow,   Printed::kIsTheWork},
    {"set",    DeclareSet,    Printed::kIsTheWork},
    {"frame",  DeclareFrame,  Printed::kIsTheWork},
    {"decode", DeclareDecode, Printed::kIsTheWork},
    {"upload", DeclareUpload, Printed::kIsACopy},
    {"station", DeclareStation, Printed::kIsACopy},
    {"profile", DeclareProfile, Printed::kIsTheWork},
    {"diff",   DeclareDiff,   Printed::kIsTheWork},
    {"report", DeclareReport, Printed::kIsTheWork},
    {"ports",  DeclarePorts,  Printed::kIsTheWork},
};
// clang-format on

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
    const CommandEntry* ran = nullptr;
    for (const CommandEntry& entry : kCommands) {
        CLI::App* command = app.add_subcommand(entry.name);
        command->callback([&status, &ran, &entry, action = entry.declare(*command)] {
            ran = &entry;
            status = action();
        });
    }

    if (const std::optional<int> stop = CommandLine::Parse(app, argc, argv, std::cout, std::cerr)) {
        return *stop;
    }
    if (const std::optional<std::string> failure = OutputFailure()) {
        Complain("cannot write to standard output: " + *failure);
        if (ran == nullptr || ran->printed == Printed::kIsTheWork) {
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
    RaiseOpenFileLimit();
    return RunReportingErrors(argc, argv);
}
#endif
