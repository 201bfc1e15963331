// The controlling terminal in curses mode for the life of one object: opened
// through /dev/tty (so the application's stdin and stdout stay untouched), a
// curses screen of its own, and the terminal restored completely when the
// object goes: the tty modes, the normal screen, the cursor, and every signal
// disposition as the application had it.
//
// While the object lives, SIGINT, SIGTERM, SIGHUP, SIGQUIT and SIGTSTP (those
// the application does not ignore) first give the terminal back and then go
// to the application's previous handler, or get the default action. If the
// process goes on afterwards, a stop signal resumes the dialog (redrawn) and
// any other ends it (Interrupted()).
//
// Thread safety: one session per process at a time: a second thread waits
// until the first session has ended; a second session on the same thread (a
// dialog inside a dialog) shares the first one's terminal. The signal
// handlers may run on any thread.
#ifndef ORNEH_DIALOG_TUI_TERMINAL_SESSION_H
#define ORNEH_DIALOG_TUI_TERMINAL_SESSION_H

#include <locale.h>
#include <termios.h>

#include <cstddef>
#include <mutex>
#include <string>

struct screen;

namespace orneh {
namespace dialog {
namespace tui {

// The plain keys (not curses' function keys) that the dialogs handle by code.
enum : int {
    kKeyBackspace = 8,  // Ctrl+H
    kKeyRedraw = 12,    // Ctrl+L: draw everything again
    kKeyEscape = 27,
    kKeyDelete = 127    // what most terminals send for Backspace
};

class TerminalSession {
public:
    TerminalSession();
    ~TerminalSession();
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;

    // Whether the terminal is in curses mode (false: no terminal, unknown
    // TERM, ...; why() says why).
    bool ok() const { return m_screen != nullptr; }
    const std::string& why() const { return m_why; }

    // Whether a session can start here: a terminal type the terminal
    // database knows, and a controlling terminal; if not, a one-line reason
    // in why.
    static bool Usable(char* why, std::size_t whySize);

    // A signal ended the dialog; the terminal has been given back already.
    static bool Interrupted();
    // The terminal has hung up (its window closed): nothing more can be
    // read from it.
    bool Gone() const;
    // The process was stopped and continued, or the window changed its size:
    // the whole screen must be drawn again. Clears the condition.
    bool TakeRedraw();

private:
    void Open();

    std::unique_lock<std::mutex> m_hold;  // first: taken before, given back after all else
    TerminalSession* m_outer = nullptr;   // the session this one shares
    int m_fd = -1;
    void* m_in = nullptr;   // FILE*
    void* m_out = nullptr;  // FILE*
    struct screen* m_screen = nullptr;
    struct termios m_saved {};
    locale_t m_locale = nullptr;
    locale_t m_previousLocale = nullptr;
    int m_rows = 0, m_cols = 0;
    std::string m_why;
};

}  // namespace tui
}  // namespace dialog
}  // namespace orneh

#endif
