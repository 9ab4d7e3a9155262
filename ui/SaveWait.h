#pragma once

// How long the dialog's save waits for another program's save to let go of the settings file.
// A save holds it for milliseconds: one held for 2 s belongs to a program that hangs, and waiting
// longer only delays the box that says so. The window cannot answer meanwhile: this wait, and
// every other wait of the save, which comes out of it, after the longest send stay below the 5 s
// after which Windows calls a window not responding (a test holds them there).
constexpr int kSaveWaitMs = 2000;

// Windows' bound for a window that answers no message before it calls it not responding.
constexpr int kNotRespondingMs = 5000;
