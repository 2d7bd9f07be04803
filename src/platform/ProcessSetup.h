#pragma once

// What both programs do first in main(), before anything opens a file.
namespace ProcessSetup {

// Opens /dev/null on each of the standard descriptors 0, 1 and 2 that is
// closed, so the first file the program opens (the lock, a database) never
// becomes its standard output and receives the log.
void openMissingStandardStreams();

// A reader of the standard output that goes away (a pipe into head) no
// longer ends the program: the write fails and is dropped. A handler is used
// rather than ignoring the signal, so the programs the window starts get the
// usual default back.
void survivePipeReadersGoingAway();

// Folders and files the program creates are its user's alone (0700,
// 0600): the catalogue's requests may hold credentials. Done with the
// process umask (077) rather than a change of mode after each creation, so
// it also covers what SQLite and QSaveFile create, from the first moment.
// Existing files keep their modes. The programs the window starts (consoles,
// the system-information program, a browser) inherit it.
void keepNewFilesPrivate();

// Everything in main() before the command line is read.
void prepare();

} // namespace ProcessSetup
