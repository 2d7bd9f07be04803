#pragma once

#include <QString>
#include <QStringList>

class ProcessStarter;

// Starts the console programs ping and telnet against a server, each in a
// terminal window of its own. Arguments are handed over one by one, never
// through a shell, and text that a program could read as an option starts
// nothing.
class ConsoleLauncher final {
public:
    // `preferredTerminal` is tried first (the program named by $TERMINAL).
    explicit ConsoleLauncher(ProcessStarter& starter,
                             QString preferredTerminal = qEnvironmentVariable("TERMINAL"));

    // Continuous ping of `address`; false when nothing was started.
    bool startPing(const QString& address);
    // telnet to `address` and `port`; false when nothing was started.
    bool startTelnet(const QString& address, const QString& port);

    // Full path of the terminal to use, empty when there is none.
    QString findTerminal() const;

    // {"ping", address}; empty when the address is unusable.
    static QStringList pingCommand(const QString& address);
    // {"telnet", address, port}; empty when the address or port is unusable.
    static QStringList telnetCommand(const QString& address, const QString& port);
    // The terminal's arguments that run `command` in its window.
    static QStringList terminalArguments(const QString& terminal, const QStringList& command);
    // Terminals tried after the preferred one, in order.
    static QStringList fallbackTerminals();

private:
    bool startInTerminal(QStringList command);

    ProcessStarter& m_starter;
    QString m_preferredTerminal;
};
