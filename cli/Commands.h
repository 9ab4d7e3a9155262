#pragma once

#include <string>
#include <vector>

#include "cli/ExitStatus.h"

// A parameter file and the NAME=VALUE changes made to its values.
struct ValueSource {
    std::string file;
    std::vector<std::string> assignments;
};

struct UploadRequest {
    std::string port;
    ValueSource values;
    bool repeat = false;
    std::string logPath;     // empty: no log
    std::string unit;        // the first unit's label; empty: none
    std::string unitPattern; // ECMAScript; empty: any label, or none
    bool save = false;
    bool json = false;
};

// The frame as decode takes it, in the words its help and its errors use.
inline constexpr char kHexFrameForm[] =
    "38 hex digits, either case, with nothing or one space, colon or dash between two bytes";

// Each returns the exit status, or throws CommandError when it cannot do its work.
int ShowValues(const std::string& file, bool json);
int SetValues(const ValueSource& values);
int PrintFrame(const ValueSource& values, bool json);
int DecodeHex(const std::string& hex, bool json);
int Upload(const UploadRequest& request);
int ListPorts(bool json);

enum class ReportForm { kSummary, kCsv, kHtml };
// The report of one record kept in one or more files, read in the order given.
int Report(const std::vector<std::string>& records, ReportForm form);
