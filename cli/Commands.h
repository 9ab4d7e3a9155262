#pragma once

#include <string>
#include <vector>

// Exit statuses a script can rely on.
enum ExitStatus : int {
    kExitDone = 0,
    kExitUploadFailed = 1,   // no echo, a short or a different echo
    kExitUsage = 2,          // a usage, value or file error; nothing was sent
    kExitPortUnavailable = 3 // missing, busy, or not a serial port
};

// A parameter file and the NAME=VALUE changes made to its values.
struct ValueSource {
    std::string file;
    std::vector<std::string> assignments;
};

struct UploadRequest {
    std::string port;
    ValueSource values;
    bool repeat = false;
    std::string logPath; // empty: no log
    bool save = false;
    bool json = false;
};

int ShowValues(const std::string& file, bool json);
int SetValues(const ValueSource& values);
int PrintFrame(const ValueSource& values, bool json);
int DecodeHex(const std::string& hex, bool json);
int Upload(const UploadRequest& request);
int ListPorts(bool json);
