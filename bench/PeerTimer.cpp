#include "PeerTimer.h"

#include <chrono>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

double meanMicrosPerRun(const std::vector<std::vector<std::string>>& commands) {
    if (commands.empty() || access(commands.front().front().c_str(), X_OK) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", 0, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", 0, 0);
    const auto started = std::chrono::steady_clock::now();
    bool allPassed = true;
    for (const auto& command : commands) {
        std::vector<char*> argv;
        for (const auto& argument : command)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ) != 0)
            return -1;
        int status = 0;
        waitpid(pid, &status, 0);
        allPassed = allPassed && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    return allPassed ? std::chrono::duration<double, std::micro>(elapsed).count() /
                           static_cast<double>(commands.size())
                     : -1;
}

double wallMillisOfRun(const std::vector<std::string>& command) {
    if (command.empty() || access(command.front().c_str(), X_OK) != 0)
        return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", 0, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", 0, 0);
    std::vector<char*> argv;
    for (const auto& argument : command)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const auto started = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv.front(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const auto elapsed = std::chrono::steady_clock::now() - started;
    return std::chrono::duration<double, std::milli>(elapsed).count();
}
