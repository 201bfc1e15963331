#include "tmux_pane.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace zkqtest {
namespace {

constexpr int kCommandTimeoutMs = 10000;

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Runs argv with its output collected; false when it fails or outlives the
// time bound (it is then killed).
bool RunBounded(const std::vector<std::string>& argv, std::string* output) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    ::close(fds[1]);
    // The child's exit ends the wait, not the end of its output: a tmux
    // server started by it keeps the pipe open.
    const long long deadline = NowMs() + kCommandTimeoutMs;
    std::string collected;
    int status = 0;
    bool exited = false;
    while (!exited) {
        if (NowMs() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        exited = ::waitpid(pid, &status, WNOHANG) == pid;
        struct pollfd p = {fds[0], POLLIN, 0};
        while (::poll(&p, 1, exited ? 0 : 20) > 0 && (p.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
            if (n <= 0) break;
            collected.append(buffer, static_cast<std::size_t>(n));
        }
    }
    ::close(fds[0]);
    if (output) *output = collected;
    return exited && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TmuxPane::TmuxPane(const std::string& directory) : m_socket(directory + "/tmux.sock") {}

TmuxPane::~TmuxPane() { Close(); }

void TmuxPane::Close() { Tmux({"kill-server"}); }

bool TmuxPane::Tmux(std::vector<std::string> args, std::string* output) {
    args.insert(args.begin(), {"tmux", "-u", "-f", "/dev/null", "-S", m_socket});
    return RunBounded(args, output);
}

bool TmuxPane::Start(const std::string& command) {
    return Tmux({"new-session", "-d", "-x", "80", "-y", "24", command});
}

std::string TmuxPane::Screen() {
    std::string screen;
    Tmux({"capture-pane", "-p"}, &screen);
    return screen;
}

bool TmuxPane::WaitForText(const std::string& text, int timeoutMs) {
    const long long deadline = NowMs() + timeoutMs;
    do {
        if (Screen().find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (NowMs() < deadline);
    return false;
}

void TmuxPane::Keys(const std::vector<std::string>& keys) {
    for (const std::string& key : keys) {
        Tmux({"send-keys", key});
        // One key at a time, as typed: a lone Escape must not run into the next key.
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
    }
}

void TmuxPane::Type(const std::string& text) { Tmux({"send-keys", "-l", text}); }

std::string TmuxPane::Query(const std::string& format) {
    std::string value;
    Tmux({"display-message", "-p", format}, &value);
    while (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

bool WaitForFile(const std::string& path, int timeoutMs) {
    const long long deadline = NowMs() + timeoutMs;
    do {
        struct stat st;
        if (::stat(path.c_str(), &st) == 0 && st.st_size > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (NowMs() < deadline);
    return false;
}

}  // namespace zkqtest
