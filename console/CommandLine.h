#pragma once

#include <algorithm>
#include <optional>
#include <ostream>
#include <string>

#include <CLI/CLI.hpp>

// What vkd37 and vkd37-sim share in reading their command lines: header-only, beside both.
namespace CommandLine {

// Plain digits only, always decimal: CLI11 alone would take "+5" and "0x10", and read "010" as
// octal. A transform, not a check: the leading zeros go before CLI11 converts the text.
inline const CLI::Validator kPlainDecimal(
    [](std::string& text) {
        const bool digits = !text.empty() && text.find_first_not_of("0123456789") == text.npos;
        if (!digits) {
            return "'" + text + "' is not a plain decimal number";
        }
        text.erase(0, std::min(text.find_first_not_of('0'), text.size() - 1));
        return std::string();
    },
    "", "plain decimal");

// CLI11 hands a one-value option the next argument even when that is an option, so
// "--log --json" would otherwise log to a file named "--json".
inline const CLI::Validator kPath(
    [](std::string& text) {
        return text.empty()     ? std::string("a path cannot be empty")
               : text[0] == '-' ? "'" + text + "' is an option, not a path (write ./" + text + ")"
                                : std::string();
    },
    "PATH", "path");

// Parses the command line; returns the exit status when the program is to stop at once: 0
// after --help or --version (printed to out), 2 on a usage error (one line to err, naming the
// program and the cause). extraCheck may throw CLI::ValidationError for rules CLI11 cannot express.
template <class Check>
std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                         std::ostream& err, Check extraCheck) {
    try {
        app.parse(argc, argv);
        extraCheck();
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << app.get_name() << ": " << e.what() << "\n";
        return 2;
    }
    return std::nullopt;
}

inline std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                std::ostream& err) {
    return Parse(app, argc, argv, out, err, [] {});
}

} // namespace CommandLine
