#pragma once

#include <string>
#include <utility>

// The one shape in which every kind of I/O (a file, a port, a record) says why it failed: what
// kind of failure it was, for the program to decide on, and the system's words, for the person.
// Each kind has its own Fault enumeration, ending in kOther; each face words the fault its own way
// and may quote the cause.
template <class Fault> struct IoFailure {
    Fault fault = Fault::kOther;
    std::string text;  // "cannot <verb> <the name the user gave>: <cause>"
    std::string cause; // the cause alone, for a face that names the object its own way
};

// "cannot <verb> <name>: <cause>".
inline std::string CannotText(const char* verb, const std::string& name, const std::string& cause) {
    return std::string("cannot ") + verb + " " + name + ": " + cause;
}

template <class Fault>
IoFailure<Fault> MakeFailure(Fault fault, const char* verb, const std::string& name,
                             std::string cause) {
    std::string text = CannotText(verb, name, cause);
    return {fault, std::move(text), std::move(cause)};
}
