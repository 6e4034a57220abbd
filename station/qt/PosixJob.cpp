#include "PosixJob.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

int shellStatus(int waitStatus)
{
    if (WIFEXITED(waitStatus))
        return WEXITSTATUS(waitStatus);
    return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : 1;
}

// The job's output: a file of its own, or the station's (nothing to do).
bool redirectOutput(posix_spawn_file_actions_t& actions, const std::string& outputPath)
{
    if (posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) != 0)
        return false;
    if (outputPath.empty())
        return true;
    return posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(),
                                            O_WRONLY | O_CREAT | O_APPEND, 0600) == 0 &&
           posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO) == 0;
}

}  // namespace

void reapProcessGroup(pid_t group)
{
    while (group > 0 && ::waitpid(-group, nullptr, WNOHANG) > 0) {
    }
}

bool PosixJob::start(const std::string& script, const std::string& outputPath)
{
    if (running())
        return false;
    // Orphans of the job become ours, so that the group can empty.
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // A group of its own, in the station's session: signals reach all of
    // the job at once and none of the station.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    pid_t pid = -1;
    char shell[] = "/bin/sh";
    std::string scriptArg = script;
    char* argv[] = {shell, &scriptArg[0], nullptr};
    const bool ok = redirectOutput(actions, outputPath) &&
                    ::posix_spawn(&pid, shell, &actions, &attributes, argv, environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (!ok)
        return false;
    leader = pid;
    leaderReaped = false;
    terminating = killed = false;
    return true;
}

void PosixJob::reapGroup()
{
    int status = 0;
    pid_t pid;
    while ((pid = ::waitpid(-leader, &status, WNOHANG)) > 0) {
        if (pid == leader) {
            leaderReaped = true;
            leaderStatus = shellStatus(status);
        }
    }
}

bool PosixJob::poll(int& exitStatus)
{
    if (!running())
        return false;
    reapGroup();
    if (terminating && !killed && std::chrono::steady_clock::now() >= killAt) {
        ::kill(-leader, SIGKILL);
        killed = true;
        reapGroup();
    }
    // A group of zombies only still answers kill(); ours are reaped above.
    if (!leaderReaped || ::kill(-leader, 0) == 0 || errno != ESRCH)
        return false;
    exitStatus = leaderStatus;
    leader = -1;
    return true;
}

void PosixJob::terminate()
{
    if (!running() || terminating)
        return;
    terminating = true;
    killAt = std::chrono::steady_clock::now() + killGrace;
    ::kill(-leader, SIGTERM);
}
