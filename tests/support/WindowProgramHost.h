#pragma once

#include "ProgramRuns.h"
#include "platform/gui/MessageBoxes.h"
#include "shell/WindowProgram.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <vector>

// A test executable that, started as "--window-program
// [--start-monitoring] [--record-boxes] OPTIONS...", is the window program
// with OPTIONS, driven as the flags ask. Its main() calls run() for such a
// start and runs its tests otherwise.
namespace WindowProgramHost {

// Clicks "开始监控" once the main window shows, as the operator would.
inline void startMonitoringOnceShown() {
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, timer, [timer] {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() != QLatin1String("FormMain") || !window->isVisible())
                continue;
            window->findChild<QPushButton*>(QStringLiteral("CmdStart"))->click();
            timer->stop();
            return;
        }
    });
    timer->start(100);
}

// Message boxes are answered at once and listed on standard output, one a
// line, as the program ends.
inline void recordMessageBoxes() {
    MessageBoxes::setTestMode(true);
}

inline void listMessageBoxes() {
    for (const MessageBoxes::Shown& box : MessageBoxes::takeShown()) {
        const QString line = QStringLiteral("box\t") + box.title + QLatin1Char('\t') +
                             QString(box.text).replace(QLatin1Char('\n'), QStringLiteral("\\n"));
        std::puts(line.toUtf8().constData());
    }
    std::fflush(stdout);
}

inline bool requested(int argc, char* argv[]) {
    return argc >= 2 && qstrcmp(argv[1], "--window-program") == 0;
}

inline int run(int argc, char* argv[]) {
    std::vector<char*> arguments{argv[0]};
    for (int i = 2; i < argc; ++i) {
        if (qstrcmp(argv[i], "--start-monitoring") == 0) {
            qAddPreRoutine(startMonitoringOnceShown);
        } else if (qstrcmp(argv[i], "--record-boxes") == 0) {
            qAddPreRoutine(recordMessageBoxes);
            qAddPostRoutine(listMessageBoxes);
        } else {
            arguments.push_back(argv[i]);
        }
    }
    const int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    return WindowProgram::main(count, arguments.data());
}

// The arguments that start this executable as the window program on folder.
inline QStringList arguments(const QStringList& flags, const ProgramRuns::DataFolder& folder) {
    return QStringList{QStringLiteral("--window-program")} + flags +
           QStringList{QStringLiteral("--config-dir"), folder.path()};
}

} // namespace WindowProgramHost
