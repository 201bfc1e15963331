// A terminal for tests: a tmux server of the test's own (its socket in a
// directory of the test) with one pane (80x24 unless told) running a shell command. Keys
// are sent and the screen is read as a user sees it. Every tmux call is
// bounded in time; the server goes with the object.
#ifndef ZKQ_TESTS_TUI_TMUX_PANE_H
#define ZKQ_TESTS_TUI_TMUX_PANE_H

#include <string>
#include <vector>

namespace zkqtest {

class TmuxPane {
public:
    explicit TmuxPane(const std::string& directory);
    ~TmuxPane();
    TmuxPane(const TmuxPane&) = delete;
    TmuxPane& operator=(const TmuxPane&) = delete;

    // Starts the pane with command (run by /bin/sh); false when tmux cannot.
    bool Start(const std::string& command, int columns = 80, int rows = 24);
    // The pane's text, one line per screen row.
    std::string Screen();
    // Waits until the screen shows text; false after timeoutMs.
    bool WaitForText(const std::string& text, int timeoutMs = 15000);
    // Keys by tmux name ("Enter", "Escape", "Tab", "M-s", "C-c", "d").
    void Keys(const std::vector<std::string>& keys);
    // Types text literally (UTF-8).
    void Type(const std::string& text);
    // Closes the pane and its terminal (the processes in it get SIGHUP).
    void Close();
    // A tmux format of the pane ("#{alternate_on}").
    std::string Query(const std::string& format);

private:
    bool Tmux(std::vector<std::string> args, std::string* output = nullptr);
    std::string m_socket;
};

// Waits until path exists and is not empty; false after timeoutMs.
bool WaitForFile(const std::string& path, int timeoutMs = 15000);

}  // namespace zkqtest

#endif
