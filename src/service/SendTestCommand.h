#pragma once

class CommandLine;

// --send-test NAME: the test message through one notification channel of
// the chosen folders' catalogue, without any window, beside a running copy
// or without one.
namespace SendTestCommand {

// Sends and returns the exit code: 0 when the channel's peer accepted the
// message, 1 otherwise, with the reason on standard error (also for a
// channel that does not exist or a catalogue that cannot be opened). Needs
// the application object, whose event loop it runs until the send ends.
int Run(const CommandLine& commandLine);

} // namespace SendTestCommand
