#pragma once

class CommandLine;

// --import and --export: the catalogue of the chosen folders through a file,
// without any window. A running copy of the program may hold the same
// catalogue: an import is one transaction, which SQLite keeps whole beside
// it, and the running copy shows the new servers at its next reload.
namespace CatalogueCommand {

// Runs the transfer the command line asks for and returns the exit code:
// 0 done (every row added), 1 some rows refused (each named on standard
// error), 2 nothing done (the reason on standard error). Needs the
// application object.
int Run(const CommandLine& commandLine);

} // namespace CatalogueCommand
