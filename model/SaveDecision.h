#pragma once

#include <optional>
#include <string>

#include "model/FileStamp.h"
#include "model/ParameterText.h"

// Whether a face may write the settings file, decided once for the dialog, the tool and the page
// from what the face knows of the file and what the file holds when the save comes. Each face
// only reads the file, hands both over, and writes or says why not.

// The settings file as a face saw it.
struct FileSight {
    enum class Kind {
        kNone,    // there was no file
        kSeen,    // there was one: its stamp, and its first bytes where they could be read
        kUnknown, // there was one, but it could not be read
    };
    Kind kind = Kind::kNone;
    FileStamp stamp; // kSeen; the page, which cannot tell a file's identity, leaves it 0
    bool timeKnown = true;
    std::optional<std::string> bytes; // kSeen: the first kParameterFileReadLimit bytes

    static FileSight Seen(const FileStamp& stamp, std::string bytes) {
        return {Kind::kSeen, stamp, true, std::move(bytes)};
    }
};

enum class SaveVerdict {
    kWrite,         // the file holds what the face read or last wrote there, or there is none
    kUnread,        // its values stop at what no reader takes: what follows would be lost
    kChanged,       // another program changed it since the face read or last wrote it
    kChangedUnread, // changed so, and its values now stop at what no reader takes
};

// Whether the person, told where the values of the file the face read stop, has asked for them
// to be written over (the page's Save). No save that follows an upload has.
enum class OverUnread { kKeep, kReplace };

struct SaveDecision {
    SaveVerdict verdict = SaveVerdict::kWrite;
    ParameterReading reading; // of what the file holds, for the faces to say where it stops
};

// `known`: what the face read at its start or wrote at its last save; `found`: the file as the
// save finds it. A file the face could not read at its start is not known to have changed; one
// another program removed is made anew, as no file was there.
SaveDecision DecideSave(const FileSight& known, const FileSight& found,
                        OverUnread overUnread = OverUnread::kKeep);
