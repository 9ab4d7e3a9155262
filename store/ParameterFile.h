#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "store/FileOutcome.h"
#include "model/ParameterSet.h"
#include "model/ParameterText.h"
#include "model/SaveDecision.h"

// The settings kept between runs (their text and their file's name: model/ParameterText.h); the
// dialog keeps them in its working directory.

// How loading the file went.
struct LoadOutcome {
    enum class Kind {
        kLoaded,     // the file was read; `reading` says how far its values went
        kMissing,    // there is no such file: the set holds the missing-file values
        kUnreadable, // it is there but cannot be read (failure says why): the same values
    };
    Kind kind = Kind::kMissing;
    ParameterReading reading;
    FileFailure failure; // kMissing and kUnreadable
    FileSight sight;     // the file as it was read, for the save to tell whether it changed
};

// Fills the set from the file at path (UTF-8), or with the missing-file values when it cannot be
// read, as the dialog shows them. kMissing only when there is no such file.
LoadOutcome LoadParameterFile(const char* path, ParameterSet& set);

// The same for the dialog's file in the working directory.
LoadOutcome LoadParameters(ParameterSet& set);

// Replaces the file at path with the set's values (store/FileStore.h tells how).
SaveOutcome SaveParameterFile(const char* path, const ParameterSet& set, const LockWait& wait = {});

// Loads the file at path as LoadParameterFile does, lets `change` alter the values and saves
// them, all under the file's lock, so that a change another program saves meanwhile is not lost.
// A missing file starts from the missing-file values. A file that cannot be read, one that
// DecideSave keeps from being written (its values stop at something that is not a number:
// kRefused), or a change that returns false with failure set, leaves the file as it is.
SaveOutcome UpdateParameterFile(const char* path,
                                const std::function<bool(ParameterSet&, FileFailure&)>& change,
                                const LockWait& wait = {});

// A face's save of its values over the file as it last knew it (`known`: what it read at its
// start or wrote at its last save), all under the file's lock: written only where DecideSave
// lets it, and otherwise left as it is, with the verdict and failure kRefused saying why. Once
// written, `known` is what was written.
struct DecidedSave {
    SaveOutcome outcome;
    SaveDecision decision;
    FileSight found; // the file as the save found it: what a face that writes over it after all
                     // (told that another program changed it) takes as known
};
DecidedSave SaveKnownFile(const char* path, const ParameterSet& set, FileSight& known,
                          const LockWait& wait = {});

// Records the port list's selection (-1 for none) in the set and saves the dialog's file: over
// the file as `known` says the dialog last saw it, as SaveKnownFile does, or without it over
// whatever the file holds. When the file is not written nothing changes, m_nPort included.
DecidedSave SaveParameters(ParameterSet& set, int selection, FileSight* known = nullptr,
                           const LockWait& wait = {});

// Why the values of a file could not all be read, in words: where reading stopped and at what.
// Empty when reading did not stop at something unreadable.
std::string UnreadableValuesText(const ParameterReading& reading);

// Why a save did not write the file, in words; empty for kWrite.
std::string SaveRefusalText(const SaveDecision& decision);

// What a reading that did not take all the values came to, in words: the text above, or how many
// values the file holds. Empty when every value was read.
std::string IncompleteReadingText(const ParameterReading& reading);
