#pragma once

class CommandLine;

// servermon --copy-catalogue URI: copies the catalogue file (servers,
// request templates, channels, maintenance windows) into an empty
// PostgreSQL database, where a team can then share it. 0 when copied, 1 with
// the reason on standard error otherwise.
namespace CopyCatalogueCommand {

int Run(const CommandLine& commandLine);

} // namespace CopyCatalogueCommand
