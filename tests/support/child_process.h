#pragma once
// Starting the programs under test and waiting on their output and exit, never on the clock.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/files.h"

extern char** environ;

namespace ostrel::test {

class ChildProcess {
  public:
    // Starts `program` with `args`; its stdout comes through a pipe (Stdout*), or goes to the
    // file `stdoutFile` when given; stderr goes to `stderrFile` when given. It works in
    // `workDir` when given (a test's own folder: whatever it leaves there goes with it).
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& stdoutFile = "", const std::string& stderrFile = "",
                 const std::string& workDir = "") {
        int out[2] = {-1, -1};
        if (stdoutFile.empty() && pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        if (stdoutFile.empty()) {
            posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (!stderrFile.empty()) {
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrFile.c_str(),
                                             O_WRONLY | O_CREAT | O_TRUNC, 0644);
        }
        if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (out[1] >= 0) close(out[1]);
        stdout_ = out[0];
    }
    ~ChildProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (stdout_ >= 0) close(stdout_);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    // Blocks until a whole line has come (without its newline), or "" at end of output.
    std::string StdoutLine() {
        std::string line;
        char c = 0;
        while (read(stdout_, &c, 1) == 1 && c != '\n') line += c;
        return line;
    }
    // Lines up to the first that begins with `start`, which it returns; "" at end of output.
    std::string AwaitLine(const std::string& start) {
        for (std::string line;;) {
            if ((line = StdoutLine()).empty() || line.starts_with(start)) return line;
        }
    }
    // Everything still to come, up to the end of the output.
    std::string StdoutRest() {
        std::string rest;
        char buffer[4096];
        ssize_t n = 0;
        while ((n = read(stdout_, buffer, sizeof buffer)) > 0) rest.append(buffer, n);
        return rest;
    }
    // Closes our end of the stdout pipe, as `| head -1` does once it has its line.
    void CloseStdout() {
        if (stdout_ >= 0) close(stdout_);
        stdout_ = -1;
    }
    void Signal(int signal) { kill(pid_, signal); }
    // Waits for the exit; the exit code, or 128 + the signal that ended it.
    int Wait() {
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

  private:
    pid_t pid_ = -1;
    int stdout_ = -1;
};

// Programs started from now on load `library` too, after the preloads already set (umockdev's
// testbed): the termios preload, say, that shows the simulated bridge the line settings asked.
inline void AddPreload(const std::string& library) {
    const char* preload = std::getenv("LD_PRELOAD");
    setenv("LD_PRELOAD", (std::string(preload ? preload : "") + ":" + library).c_str(), 1);
}

}  // namespace ostrel::test
