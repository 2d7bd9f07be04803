#pragma once

#include "platform/AppPaths.h"

#include <QString>
#include <QStringList>

#include <optional>

// The program's command line, read before any window system is touched, so
// --help and --version work without a display.
class CommandLine final {
public:
    enum class Action {
        Run,           // start the program
        PrintAndEnd,   // print output() to standard output and end successfully
        Fail,          // print output() to standard error and end with exitCode()
        Import,        // add the servers of transferFile() to the catalogue, no window
        Export,        // write the catalogue to transferFile(), no window
        SendTest,      // send the test message through channelName(), no window
        CopyCatalogue, // copy the catalogue file into the database copyTarget(), no window
    };

    static CommandLine parse(const QStringList& arguments);

    Action action() const { return m_action; }
    QString output() const { return m_output; }
    int exitCode() const { return m_action == Action::Fail ? 2 : 0; }
    // Where the files live, as the options chose.
    AppPaths::Choice pathChoice() const { return m_choice; }
    // The file of --import or --export.
    QString transferFile() const { return m_transferFile; }
    // The notification channel of --send-test.
    QString channelName() const { return m_channelName; }
    // The shared catalogue of --database, overriding the settings; empty
    // when the option is absent.
    QString database() const { return m_database; }
    // The agent name of --agent and the location of --location, overriding
    // the settings; empty and nothing when the options are absent.
    QString agent() const { return m_agent; }
    std::optional<QString> location() const { return m_location; }
    // The empty PostgreSQL database of --copy-catalogue.
    QString copyTarget() const { return m_copyTarget; }
    // Monitoring without a window.
    bool headless() const { return m_headless; }
    // The metrics endpoint as given ("ADDRESS:PORT" or a port); empty when
    // the option is absent.
    QString metrics() const { return m_metrics; }

    // "servermon 1.0.28"
    static QString versionText();

private:
    Action m_action = Action::Run;
    QString m_output;
    AppPaths::Choice m_choice;
    QString m_transferFile;
    QString m_channelName;
    QString m_database;
    QString m_copyTarget;
    QString m_agent;
    std::optional<QString> m_location;
    bool m_headless = false;
    QString m_metrics;
};
