#pragma once

// One set of settings files for every face: their bytes, what the dialog and the page send to
// the controller for them, and what the tool does. The forms send what their controls show: a
// source outside 0-2 checks no button and is refused before anything is sent, a tick of 2 shows
// ticked (a two-state box) and any other value but 1 unticked, a value outside its range fails
// the form's check. The tool sends the same bytes or refuses, naming the value; it never sends
// what the forms would not. The port is not part of the frame; every file the forms send names
// port 1 (COM1).
// After an upload every face saves (`vkd37 upload --save`), but never over a reading that stopped
// (the tool refuses before sending), a file another program changed (the tool exits with 4) or a
// folder.

#include <string>
#include <vector>

#include "model/ParameterText.h"

struct SettingsFile {
    const char* name;  // what the file is, for the tests' messages
    std::string bytes; // the file's bytes
    int values;        // how many values reading takes, in file order
    // Reading stopped at bytes that are not a number (or a number past 32 bits): `vkd37 set` and
    // `vkd37 upload --save` refuse the file with exit status 2, before anything is sent, and
    // leave it as it was.
    bool stopsAtUnreadable;
    const char* formsSend; // the frame in hex the dialog and the page send; "" for nothing
    // "" when `vkd37 upload FILE` sends formsSend; else a piece of its message, naming the value,
    // as it refuses with exit status 2 and sends nothing.
    const char* toolRefuses;
    // What another program writes there once a face has read the file, before its save: "" for
    // nothing.
    std::string changedTo = "";
    bool folder = false; // a folder has the file's name: its start values are sent, nothing saved
};

namespace settings_files {

using namespace std::string_literals;

// What the programs save where no file was: every value at its start value.
inline const std::string kStartValues = "0 0 10 108 10 0 10 108 10 100 2000 2000 0 0 0 0 ";

// Every value away from its start value: sources, ramps at both ends of their ranges, the largest
// count and delay, every box ticked.
inline const std::string kEveryValue = "1 2 5 60 7 1 127 1 0 65535 15 16777210 1 1 1 1 ";
inline constexpr char kEveryValueFrame[] = "0302053B07017F000000FFFF00000119999901";
// The same with the flags off: what the first 12 values give when the rest read as 0.
inline constexpr char kFlagsOffFrame[] = "0302053B07017F000000000000000000000000";
inline const std::string kBom = "\xEF\xBB\xBF";

// The text as UTF-16 little-endian, as PowerShell 5 and Notepad's "Unicode" write it.
inline std::string Utf16(const std::string& text, bool byteOrderMark) {
    std::string bytes = byteOrderMark ? "\xFF\xFE" : "";
    for (const char c : text) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// kEveryValue with the value at file position `position` (0 for the port) replaced by `value`.
inline std::string EveryValueWith(int position, const std::string& value) {
    std::string text;
    int at = 0;
    std::size_t start = 0;
    for (std::size_t space; (space = kEveryValue.find(' ', start)) != std::string::npos;
         start = space + 1, ++at) {
        text += (at == position ? value : kEveryValue.substr(start, space - start)) + " ";
    }
    return text;
}

} // namespace settings_files

inline const std::vector<SettingsFile>& SettingsFiles() {
    using namespace settings_files;
    static const std::vector<SettingsFile> files = {
        {"the start values", kStartValues, 16, false, "03000A6B0A000A6B0A00000000000000000000", ""},
        {"every value set", kEveryValue, 16, false, kEveryValueFrame, ""},
        {"a UTF-8 byte-order mark", kBom + kEveryValue, 16, false, kEveryValueFrame, ""},
        {"one value a line, CRLF",
         "1\r\n2\r\n5\r\n60\r\n7\r\n1\r\n127\r\n1\r\n0\r\n65535\r\n15\r\n"
         "16777210\r\n1\r\n1\r\n1\r\n1\r\n",
         16, false, kEveryValueFrame, ""},
        {"text after the 16 values", kEveryValue + "notes", 16, false, kEveryValueFrame, ""},
        {"NULs after the 16 values", kEveryValue + "\0\0\0"s, 16, false, kEveryValueFrame, ""},
        // Fewer values: the rest read as 0, as the dialog has always read them.
        {"12 values", "1 2 5 60 7 1 127 1 0 65535 15 16777210", 12, false, kFlagsOffFrame, ""},
        {"the two values 3 1", "3 1", 2, false, "", "fwd.speed=0"},
        {"empty", "", 0, false, "", "fwd.speed=0"},
        {"only blanks", " \r\n\t ", 0, false, "", "fwd.speed=0"},
        // Reading stops at what is not a number; the values before it are taken, the rest read
        // as 0.
        {"a NUL after 8 values", "1 2 5 60 7 1 127 1\0 0 65535 15 16777210 1 1 1 1 "s, 8, true,
         kFlagsOffFrame, ""},
        {"a word for fwd.speed", "1 2 5 sixty 7 1 127 1 0 65535 15 16777210 1 1 1 1 ", 3, true, "",
         "no number for fwd.speed"},
        {"a byte-order mark, then a word", kBom + "junk", 0, true, "", "no number for port"},
        {"two byte-order marks", kBom + kBom + kEveryValue, 0, true, "", "no number for port"},
        {"UTF-16 with its byte-order mark", Utf16(kEveryValue, true), 0, true, "",
         "no number for port"},
        {"UTF-16 without a byte-order mark", Utf16(kEveryValue, false), 1, true, "",
         "no number for fwd.source"},
        {"fwd.speed past 32 bits", EveryValueWith(3, "4294967356"), 3, true, "",
         "a number too large for fwd.speed"},
        {"auto_home past 32 bits", EveryValueWith(15, "-4294967295"), 15, true,
         "0302053B07017F000000FFFF00000119999900", ""},
        // No reader takes more than the first MiB: values beyond it, or running into its end,
        // are not known.
        {"blanks past the first MiB, then the values",
         std::string(kParameterFileReadLimit, ' ') + kEveryValue, 0, true, "",
         "the end of the first MiB"},
        {"auto_home cut by the end of the first MiB",
         EveryValueWith(15,
                        std::string(kParameterFileReadLimit - kEveryValue.size() + 1, ' ') + "10"),
         15, true, "0302053B07017F000000FFFF00000119999900", ""},
        // Values the controls cannot show as they are.
        {"fwd.source 3", EveryValueWith(1, "3"), 16, false, "", "fwd.source=3"},
        {"rev.source -1", EveryValueWith(5, "-1"), 16, false, "", "rev.source=-1"},
        {"cycles.on 2", EveryValueWith(12, "2"), 16, false, kEveryValueFrame, "cycles.on=2"},
        {"cycles.on 3", EveryValueWith(12, "3"), 16, false,
         "0302053B07017F000000000000000119999901", "cycles.on=3"},
        {"auto_home -1", EveryValueWith(15, "-1"), 16, false,
         "0302053B07017F000000FFFF00000119999900", "auto_home=-1"},
        {"fwd.acc 300", EveryValueWith(2, "300"), 16, false, "", "fwd.acc=300"},
        {"rev.speed 0", EveryValueWith(7, "0"), 16, false, "", "rev.speed=0"},
        // The file's state at the save.
        {"changed between load and save", kEveryValue, 16, false, kEveryValueFrame, "",
         EveryValueWith(9, "250")},
        {"changed to stop between load and save", kEveryValue, 16, false, kEveryValueFrame, "",
         EveryValueWith(9, "250\0"s)},
        {"a folder", "", 0, false, "03000A6B0A000A6B0A00000000000000000000", "not a regular file",
         "", true},
    };
    return files;
}
