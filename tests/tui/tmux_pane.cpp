#include "tmux_pane.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/child_process.h"
#include "support/test_util.h"

namespace zkqtest {

TmuxPane::TmuxPane(const std::string& directory) : m_socket(directory + "/tmux.sock") {}

TmuxPane::~TmuxPane() { Close(); }

void TmuxPane::Close() { Tmux({"kill-server"}); }

// Each call runs in a child with a deadline of 10 s; its output goes to a
// file, since the server it may start keeps its standard output open.
bool TmuxPane::Tmux(std::vector<std::string> args, std::string* output) {
    args.insert(args.begin(), {"tmux", "-u", "-f", "/dev/null", "-S", m_socket});
    const std::string out = m_socket + ".out";
    const ChildResult result = RunInChild(
        [&] {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            if (fd < 0 || ::dup2(fd, 1) < 0) ::_exit(126);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            ::execvp(argv[0], argv.data());
            ::_exit(127);
        },
        10);
    if (output) *output = ReadFile(out);
    return result.exited && result.exitCode == 0;
}

bool TmuxPane::Start(const std::string& command, int columns, int rows) {
    return Tmux({"new-session", "-d", "-x", std::to_string(columns), "-y", std::to_string(rows), command});
}

std::string TmuxPane::Screen() {
    std::string screen;
    Tmux({"capture-pane", "-p"}, &screen);
    return screen;
}

bool TmuxPane::WaitForText(const std::string& text, int timeoutMs) {
    return WaitUntil([&] { return Screen().find(text) != std::string::npos; }, timeoutMs, 50);
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
    return WaitUntil([&] { struct stat st; return ::stat(path.c_str(), &st) == 0 && st.st_size > 0; }, timeoutMs, 50);
}

}  // namespace zkqtest
