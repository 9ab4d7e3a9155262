#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/Handles.h"

extern char** environ;

// A program run as a child process with its stdout and stderr on pipes and, when given, a text on
// its stdin (then closed); killed if still running when the test ends.
class ChildProcess {
public:
    enum class Pipes {
        kUsual,
        kInputLeftOpen, // stdin stays open after the text, for Type
        kOutputUnread,  // stdout is a pipe whose reader has gone
    };

    using Clock = std::chrono::steady_clock;
    using milliseconds = std::chrono::milliseconds;
    // How long a wait for something that must happen may take: generous, since it costs time
    // only when the thing never happens, and a loaded machine may be slow to run either side.
    static constexpr milliseconds kOutcomeLimit{30000};

    static int MillisecondsLeft(Clock::time_point deadline) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }

    ChildProcess(const std::string& program, std::vector<std::string> arguments,
                 std::optional<std::string> input = std::nullopt, Pipes pipes = Pipes::kUsual) {
        arguments.insert(arguments.begin(), program);
        int out[2], err[2], in[2];
        if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0 ||
            ::pipe2(in, O_CLOEXEC) != 0) {
            return;
        }
        stdout_ = UniqueFd(out[0]);
        stderr_ = UniqueFd(err[0]);
        UniqueFd outWrite(out[1]), errWrite(err[1]), inRead(in[0]);
        stdin_ = UniqueFd(in[1]);
        if (pipes == Pipes::kOutputUnread) {
            stdout_.Close();
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outWrite.get(), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errWrite.get(), STDERR_FILENO);
        if (input) {
            posix_spawn_file_actions_adddup2(&actions, inRead.get(), STDIN_FILENO);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        if (::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            pid_ = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        if (input && pid_ > 0) {
            Type(*input);
        }
        if (pipes != Pipes::kInputLeftOpen) {
            stdin_.Close();
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }

    // Small enough for the pipe's buffer, so this never waits for the child.
    void Type(const std::string& text) {
        if (::write(stdin_.get(), text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
            ADD_FAILURE() << "could not write the child's input";
        }
    }

    // The end of the input, as Ctrl-D at a terminal.
    void EndInput() { stdin_.Close(); }

    bool IsRunning() const { return pid_ > 0; }
    pid_t Id() const { return pid_; }
    void Signal(int signal) { ::kill(pid_, signal); }

    std::optional<std::string> ReadLine(milliseconds limit = kOutcomeLimit) {
        const Clock::time_point deadline = Clock::now() + limit;
        for (;;) {
            const std::size_t end = stdoutText_.find('\n');
            if (end != std::string::npos) {
                std::string line = stdoutText_.substr(0, end);
                stdoutText_.erase(0, end + 1);
                return line;
            }
            if (!ReadSome(stdout_.get(), stdoutText_, MillisecondsLeft(deadline))) {
                return std::nullopt;
            }
        }
    }

    // The port path from the next line, which must be "port: PATH".
    std::string ReadPort() {
        const std::optional<std::string> line = ReadLine();
        const std::string prefix = "port: ";
        if (!line || line->compare(0, prefix.size(), prefix) != 0) {
            ADD_FAILURE() << "expected a port line, got " << line.value_or("nothing");
            return {};
        }
        return line->substr(prefix.size());
    }

    // Everything written to stdout until it is closed or the limit passes.
    std::string OutputText(milliseconds limit = kOutcomeLimit) {
        const Clock::time_point deadline = Clock::now() + limit;
        while (ReadSome(stdout_.get(), stdoutText_, MillisecondsLeft(deadline))) {
        }
        return stdoutText_;
    }

    // Whether stderr showed text within the limit.
    bool WaitForError(const std::string& text, milliseconds limit = kOutcomeLimit) {
        const Clock::time_point deadline = Clock::now() + limit;
        while (stderrText_.find(text) == std::string::npos) {
            if (!ReadSome(stderr_.get(), stderrText_, MillisecondsLeft(deadline))) {
                return false;
            }
        }
        return true;
    }

    std::string ErrorText(milliseconds limit = milliseconds(200)) {
        const Clock::time_point deadline = Clock::now() + limit;
        while (ReadSome(stderr_.get(), stderrText_, MillisecondsLeft(deadline))) {
        }
        return stderrText_;
    }

    std::optional<int> WaitForExit(milliseconds limit = kOutcomeLimit) {
        const Clock::time_point deadline = Clock::now() + limit;
        do {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(milliseconds(10));
        } while (Clock::now() < deadline);
        return std::nullopt;
    }

private:
    static bool ReadSome(int fd, std::string& text, int timeoutMs) {
        pollfd watched{fd, POLLIN, 0};
        if (::poll(&watched, 1, timeoutMs) <= 0) {
            return false;
        }
        char buffer[4096];
        const ssize_t received = ::read(fd, buffer, sizeof buffer);
        if (received <= 0) {
            return false;
        }
        text.append(buffer, static_cast<std::size_t>(received));
        return true;
    }

    pid_t pid_ = -1;
    UniqueFd stdin_;
    UniqueFd stdout_;
    UniqueFd stderr_;
    std::string stdoutText_;
    std::string stderrText_;
};
