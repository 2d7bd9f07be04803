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

// Everything in main() before the command line is read.
void prepare();

} // namespace ProcessSetup
