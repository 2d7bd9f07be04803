#pragma once

#include <QString>
#include <QStringList>

#include <cstdio>

class CommandLine;
class QCoreApplication;

// Everything the program does without a window: help, version and option
// errors, --import and --export, --send-test, and the headless service. The
// window program hands these over; servermon-headless does nothing else.
namespace HeadlessProgram {

QStringList argumentList(int argc, char* argv[]);
void print(std::FILE* stream, const QString& text);

// Decides the folders the options pick and installs the interface language
// chosen in their settings file.
void installInterfaceLanguage(QCoreApplication& app, const CommandLine& commandLine);

// "servermon 已在运行,数据文件夹:..." for a start that finds the folder taken.
QString alreadyRunningMessage();
// The line for a start that cannot take the folder's lock at all: the lock
// file and the reason.
QString lockFailedMessage(const QString& lockFile, const QString& reason);

// Runs what the command line asks for without a window and returns the exit
// code: the options that end at once, the catalogue transfer, the test
// message of a notification channel, or the headless service until SIGTERM,
// SIGINT or SIGHUP.
int run(int argc, char* argv[], const CommandLine& commandLine);

} // namespace HeadlessProgram
