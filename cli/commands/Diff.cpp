#include <memory>

#include "cli/ExitStatus.h"
#include "cli/JsonText.h"
#include "cli/Output.h"
#include "cli/ValueSources.h"
#include "cli/commands/Command.h"
#include "record/LabelText.h"
#include "record/ValueChanges.h"

namespace {

struct DiffOptions {
    std::string from;
    std::string to;
    std::vector<std::string> units; // one for both records, or one each
    bool json = false;
};

Json ValueJson(const ParameterField& field, int value) {
    return {{"value", value},
            {"en", ValueText(field, value, Language::kEnglish)},
            {"zh", ValueText(field, value, Language::kChinese)}};
}

// As diff(1): 0 when the values are the same, 1 when they differ.
int Diff(const DiffOptions& options) {
    const std::string& fromUnit = options.units.empty() ? "" : options.units.front();
    const std::string& toUnit = options.units.empty() ? "" : options.units.back();
    const NamedValues from = ValuesFrom(options.from, fromUnit);
    const NamedValues to = ValuesFrom(options.to, toUnit);
    const std::vector<ValueChange> changes =
        ValueChanges(from.set, to.set, from.hasPort && to.hasPort);
    if (options.json) {
        Json list = Json::array();
        for (const ValueChange& change : changes) {
            list.push_back({{"name", change.field->name},
                            {"nameZh", ChineseName(*change.field)},
                            {"old", ValueJson(*change.field, change.from)},
                            {"new", ValueJson(*change.field, change.to)}});
        }
        PrintLine(JsonText({{"old", from.label}, {"new", to.label}, {"changes", list}}));
    } else {
        std::string text = "--- " + from.shown + "\n+++ " + to.shown + "\n";
        for (const ValueChange& change : changes) {
            text += "  " + ChangeText(change) + "\n";
        }
        WriteOut(changes.empty() ? text + "  the same values\n" : text);
    }
    return changes.empty() ? kExitDone : kExitUploadFailed;
}

} // namespace

CommandAction DeclareDiff(CLI::App& command) {
    const auto options = std::make_shared<DiffOptions>();
    command.description(
        "the values that differ between two settings files, profiles or records' units (a "
        "unit's last confirmed values), old -> new in both languages' words; exit status 1 when "
        "any differ");
    command.add_option("OLD", options->from, "settings file, profile or record")
        ->check(CommandLine::kPath)
        ->required();
    command.add_option("NEW", options->to, "settings file, profile or record")
        ->check(CommandLine::kPath)
        ->required();
    command
        .add_option("--unit", options->units,
                    "the unit a record stands for: once for both records, or twice, for OLD "
                    "then NEW")
        ->expected(1, 2);
    AddJson(command, options->json);
    return [options] { return Diff(*options); };
}
