#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "model/ParameterSet.h"

// The text of the parameter file: the 16 stored values, each as "%d " in the file order of the
// parameter table (filePosition).

// Why reading the file's bytes stopped.
enum class ReadStop {
    kComplete,   // all the stored values were read
    kEndOfText,  // the bytes ended first: the file holds fewer values
    kNotANumber, // at bytes that are not a number (other text, a NUL, UTF-16)
    kOutOfRange, // at a number that does not fit an int
    kReadLimit,  // at the read limit, with values still to come or a number running into it
};

// The file's name, in the dialog's working directory. The name is historical; the file is plain
// text.
inline constexpr char kParameterFileName[] = "InitialParameter.dll";

// A legitimate file is under 200 bytes; no reader takes more of it than this.
inline constexpr std::size_t kParameterFileReadLimit = 1 << 20;

// How far reading went, for the faces to say.
struct ParameterReading {
    int values = 0; // how many were read, in file order
    ReadStop stop = ReadStop::kEndOfText;
    std::size_t stopOffset = 0; // where reading stopped, in bytes from the file's start
    bool byteOrderMark = false; // a UTF-8 byte-order mark at the very start was skipped

    // Reading met bytes it could not take as the next value: what the file holds from there
    // on is unknown, and writing over it would lose it.
    bool StoppedAtUnreadable() const {
        return stop == ReadStop::kNotANumber || stop == ReadStop::kOutOfRange ||
               stop == ReadStop::kReadLimit;
    }
};

// Reads the file's bytes as the dialog does, into the members in file order: a UTF-8 byte-order
// mark at the very start is skipped (an editor's "UTF-8 with BOM"); then each value is an
// optionally signed decimal number after any blanks. Reading stops at the first value that is
// not a number or does not fit an int; that member and the later ones keep what they held.
// Bytes that reach kParameterFileReadLimit are a file cut there: reading stops at the limit
// rather than take the blanks before it as the file's end or a number running into it as whole.
ParameterReading ReadParameterText(std::string_view bytes, ParameterSet& set);

// The file's exact bytes for this set: each stored value followed by one space.
std::string WriteParameterText(const ParameterSet& set);
