#pragma once

// The window program's main(): what needs no window (help, version, option
// mistakes, --import, --export, --send-test, --headless) runs as
// servermon-headless runs it; otherwise the main window runs until its exit
// path ends the program: the exit command, or SIGTERM, SIGINT or SIGHUP.
namespace WindowProgram {

int main(int argc, char* argv[]);

} // namespace WindowProgram
