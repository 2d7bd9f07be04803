#include "platform/ProcessSetup.h"
#include "service/CommandLine.h"
#include "service/HeadlessProgram.h"

// servermon-headless: the monitoring service and the catalogue commands of
// servermon, without the desktop libraries. It always runs headless.
int main(int argc, char* argv[]) {
    ProcessSetup::prepare();
    const CommandLine commandLine = CommandLine::parse(HeadlessProgram::argumentList(argc, argv));
    return HeadlessProgram::run(argc, argv, commandLine);
}
