#include "shell/ConsoleLauncher.h"

#include "monitor/HostText.h"
#include "platform/ProcessStarter.h"

#include <QFileInfo>

namespace {

// Empty text, or text beginning with "-", would be read as no value or as
// an option of the program it is handed to.
bool isSafeArgument(const QString& text) {
    return !text.isEmpty() && !text.startsWith(QLatin1Char('-'));
}

} // namespace

ConsoleLauncher::ConsoleLauncher(ProcessStarter& starter, QString preferredTerminal)
    : m_starter(starter)
    , m_preferredTerminal(std::move(preferredTerminal)) {}

bool ConsoleLauncher::startPing(const QString& address) {
    return startInTerminal(pingCommand(address));
}

bool ConsoleLauncher::startTelnet(const QString& address, const QString& port) {
    return startInTerminal(telnetCommand(address, port));
}

QString ConsoleLauncher::findTerminal() const {
    QStringList names = fallbackTerminals();
    if (!m_preferredTerminal.trimmed().isEmpty())
        names.prepend(m_preferredTerminal.trimmed());
    for (const QString& name : names) {
        const QString path = m_starter.findExecutable(name);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QStringList ConsoleLauncher::pingCommand(const QString& address) {
    const QString host = HostText(address);
    if (!isSafeArgument(host))
        return {};
    return {QStringLiteral("ping"), host};
}

QStringList ConsoleLauncher::telnetCommand(const QString& address, const QString& port) {
    const QString host = HostText(address);
    if (!isSafeArgument(host) || !isSafeArgument(port))
        return {};
    return {QStringLiteral("telnet"), host, port};
}

QStringList ConsoleLauncher::terminalArguments(const QString& terminal,
                                               const QStringList& command) {
    // How each terminal takes a program with its arguments; "-e" is the
    // common convention (and x-terminal-emulator's).
    const QString name = QFileInfo(terminal).fileName();
    QStringList arguments;
    if (name == QLatin1String("gnome-terminal"))
        arguments << QStringLiteral("--");
    else if (name == QLatin1String("xfce4-terminal") || name == QLatin1String("mate-terminal") ||
             name == QLatin1String("terminator"))
        arguments << QStringLiteral("-x");
    else if (name != QLatin1String("kitty") && name != QLatin1String("foot"))
        arguments << QStringLiteral("-e");
    return arguments + command;
}

QStringList ConsoleLauncher::fallbackTerminals() {
    return {QStringLiteral("x-terminal-emulator"),
            QStringLiteral("gnome-terminal"),
            QStringLiteral("konsole"),
            QStringLiteral("xfce4-terminal"),
            QStringLiteral("mate-terminal"),
            QStringLiteral("terminator"),
            QStringLiteral("alacritty"),
            QStringLiteral("kitty"),
            QStringLiteral("foot"),
            QStringLiteral("xterm")};
}

bool ConsoleLauncher::startInTerminal(QStringList command) {
    if (command.isEmpty())
        return false;
    // The terminal runs the program found here, whatever its own PATH says.
    const QString program = m_starter.findExecutable(command.first());
    if (program.isEmpty())
        return false;
    command.first() = program;
    const QString terminal = findTerminal();
    if (terminal.isEmpty())
        return false;
    return m_starter.startDetached(terminal, terminalArguments(terminal, command));
}
