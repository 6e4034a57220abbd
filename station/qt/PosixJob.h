// The programming job on Linux: "/bin/sh run.bat" in a process group of its
// own, watched until the shell and everything it started have ended.
//
// A job has ended when its shell has exited and no process of its group is
// left, so a blockxfer that outlives the shell still holds the job open.
// The station makes itself the subreaper of what it starts, so that an
// orphan of the job is reaped here even where process 1 reaps nothing. A
// process that moves to another group on purpose has left the job.
#pragma once
#include <chrono>
#include <string>
#include <sys/types.h>

class PosixJob {
public:
    // SIGTERM first; SIGKILL for whatever is still there this long after.
    static constexpr std::chrono::milliseconds killGrace{3000};

    // Starts `/bin/sh script` in the working directory; its output goes to
    // `outputPath` when one is given, else where the station's goes. False
    // when it cannot start (another job still running counts).
    bool start(const std::string& script, const std::string& outputPath);
    // Reaps what has ended; true once the whole job has ended, with the
    // shell's exit status as a shell shows it (128 + signal when killed).
    bool poll(int& exitStatus);
    // Ends the job: SIGTERM to its group now, SIGKILL from poll() later.
    void terminate();

    bool running() const { return leader > 0; }
    pid_t shellPid() const { return leader; }

private:
    void reapGroup();

    pid_t leader = -1;  // also the group's id
    bool leaderReaped = false;
    int leaderStatus = 0;
    bool terminating = false;
    bool killed = false;
    std::chrono::steady_clock::time_point killAt;
};

// Reaps every ended child of the group `group` without waiting.
void reapProcessGroup(pid_t group);
