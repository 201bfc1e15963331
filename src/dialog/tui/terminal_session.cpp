#include "dialog/tui/terminal_session.h"

#include <new>

#include <curses.h>
#include <term.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "posix_io.h"

namespace orneh {
namespace dialog {
namespace tui {
namespace {

// Signals that end or stop the process while the terminal is in curses mode.
constexpr int kCaught[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP};
// Their dispositions, and SIGWINCH's (curses may install a handler for it),
// are saved before curses starts and put back when the session ends.
constexpr int kSaved[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGWINCH};

// What the signal handler needs, prepared before it is installed: it may only
// make async-signal-safe calls.
struct sigaction g_previous[NSIG];
int g_ttyFd = -1;
struct termios g_ttyModes;
char g_leaveSequence[256];
size_t g_leaveLength = 0;
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_stopped = 0;

std::mutex g_terminal;
// The session of this thread, which a dialog opened from inside a dialog
// (a report during the hand-over) shares.
thread_local TerminalSession* t_session = nullptr;

// A forked child has only the thread that forked: a session another thread
// held is none of its own, one of its own it still holds.
struct TerminalAfterFork {
    TerminalAfterFork() {
        pthread_atfork(nullptr, nullptr, [] {
            new (&g_terminal) std::mutex();
            if (t_session) g_terminal.lock();
        });
    }
};
TerminalAfterFork g_terminalAfterFork;

// TERM as it was when the module loaded: read once, not at every dialog
// (another thread may be changing the environment).
const char* const g_term = [] {
    const char* term = getenv("TERM");
    return term ? strdup(term) : "";
}();

void GiveTerminalBack() {
    if (g_ttyFd < 0) return;
    // Async-signal-safe: only write() and errno underneath.
    ornlang::posix::WriteFull(g_ttyFd, g_leaveSequence, g_leaveLength);
    ::tcsetattr(g_ttyFd, TCSADRAIN, &g_ttyModes);
}

// Hands the signal on as if we had never been there: to the application's
// handler with the original information, or to the system's default action.
void Chain(int sig, siginfo_t* info, void* context) {
    const struct sigaction& previous = g_previous[sig];
    if (previous.sa_flags & SA_SIGINFO) {
        sigset_t before;
        pthread_sigmask(SIG_BLOCK, &previous.sa_mask, &before);
        previous.sa_sigaction(sig, info, context);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    } else if (previous.sa_handler == SIG_DFL) {
        // Our handler goes while the default action happens (the process ends,
        // or stops until it is continued), and comes back afterwards.
        struct sigaction fallback {};
        struct sigaction ours {};
        fallback.sa_handler = SIG_DFL;
        sigemptyset(&fallback.sa_mask);
        sigaction(sig, &fallback, &ours);
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, sig);
        raise(sig);  // pending: the signal is blocked inside its handler
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        pthread_sigmask(SIG_BLOCK, &only, nullptr);
        sigaction(sig, &ours, nullptr);
    } else if (previous.sa_handler != SIG_IGN) {
        sigset_t before;
        pthread_sigmask(SIG_BLOCK, &previous.sa_mask, &before);
        previous.sa_handler(sig);
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
}

void OnSignal(int sig, siginfo_t* info, void* context) {
    int savedErrno = errno;
    GiveTerminalBack();
    Chain(sig, info, context);
    // Still running: a stop was continued, or the application's handler
    // returned. After a stop the dialog goes on; otherwise it ends.
    if (sig == SIGTSTP) {
        g_stopped = 1;
    } else {
        g_interrupted = 1;
    }
    errno = savedErrno;
}

void AppendCapability(const char* name) {
    char* value = tigetstr(const_cast<char*>(name));
    if (!value || value == reinterpret_cast<char*>(-1)) return;
    size_t length = strlen(value);
    if (g_leaveLength + length >= sizeof g_leaveSequence) return;
    memcpy(g_leaveSequence + g_leaveLength, value, length);
    g_leaveLength += length;
}

// A process in the background would be stopped by its first read of the
// terminal, until someone brings it to the foreground: a report must not wait
// for that.
const char kBackground[] = "the process runs in the background of its terminal";
bool InForeground(int fd) { return tcgetpgrp(fd) == getpgrp(); }

// Whether the terminal's input has ended already: an end of input (Ctrl+D)
// waiting at the start of a line, as a session recorder whose own input is
// empty sends it. What was typed ahead is read with it.
bool InputEnded(int fd) {
    struct termios modes;
    struct pollfd p = {fd, POLLIN, 0};
    if (tcgetattr(fd, &modes) != 0 || !(modes.c_lflag & ICANON) || ::poll(&p, 1, 0) <= 0) return false;
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    char ahead[256];
    const ssize_t n = ::read(fd, ahead, sizeof ahead);
    fcntl(fd, F_SETFL, flags);
    return n == 0;
}

void SaveDispositions() {
    for (int sig : kSaved) sigaction(sig, nullptr, &g_previous[sig]);
}

void RestoreDispositions() {
    for (int sig : kSaved) sigaction(sig, &g_previous[sig], nullptr);
}

void InstallHandlers() {
    struct sigaction ours {};
    ours.sa_sigaction = OnSignal;
    ours.sa_flags = SA_SIGINFO;  // no SA_RESTART: a blocking read wakes up
    sigemptyset(&ours.sa_mask);
    for (int sig : kCaught) sigaddset(&ours.sa_mask, sig);
    for (int sig : kCaught) {
        // A signal the application ignores stays ignored (nohup, ...).
        if (!(g_previous[sig].sa_flags & SA_SIGINFO) && g_previous[sig].sa_handler == SIG_IGN) continue;
        sigaction(sig, &ours, nullptr);
    }
}

}  // namespace

TerminalSession::TerminalSession() {
    if (t_session) {
        m_outer = t_session;
        m_fd = m_outer->m_fd;
        m_screen = m_outer->m_screen;
        m_rows = m_outer->m_rows;
        m_cols = m_outer->m_cols;
        return;
    }
    m_hold = std::unique_lock<std::mutex>(g_terminal);
    t_session = this;
    g_interrupted = 0;
    g_stopped = 0;
    Open();
}

void TerminalSession::Open() {
    const char* term = g_term;
    if (!term || !*term || strcmp(term, "dumb") == 0) {
        m_why = "no usable terminal type (TERM)";
        return;
    }
    m_fd = ornlang::posix::OpenNoInt("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_fd < 0 || !InForeground(m_fd)) {
        m_why = m_fd < 0 ? "no controlling terminal" : kBackground;
        if (m_fd >= 0) ::close(m_fd);
        m_fd = -1;
        return;
    }
    if (InputEnded(m_fd)) {
        ::close(m_fd);
        m_fd = -1;
        m_why = "the terminal's input ended";
        return;
    }
    int inFd = fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (tcgetattr(m_fd, &m_saved) != 0 || inFd < 0) {
        if (inFd >= 0) ::close(inFd);
        ::close(m_fd);
        m_fd = -1;
        m_why = "the controlling terminal cannot be set up";
        return;
    }
    FILE* out = fdopen(m_fd, "w");
    FILE* in = out ? fdopen(inFd, "r") : nullptr;
    if (!in) {
        if (out) fclose(out); else ::close(m_fd);
        ::close(inFd);
        m_fd = -1;
        m_why = "out of memory";
        return;
    }
    m_out = out;
    m_in = in;

    // The display needs the character set of the user's locale; the process's
    // locale belongs to the application, so only this thread's is changed.
    m_locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
    if (!m_locale) m_locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (m_locale) m_previousLocale = uselocale(m_locale);

    SaveDispositions();
    m_screen = newterm(nullptr, out, in);
    if (!m_screen) {
        RestoreDispositions();
        m_why = "the terminal type is unknown";
        return;
    }
    set_term(m_screen);
    cbreak();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(50);
    curs_set(0);

    g_leaveLength = 0;
    for (const char* cap : {"sgr0", "cnorm", "rmkx", "rmcup"}) AppendCapability(cap);
    g_ttyModes = m_saved;
    g_ttyFd = m_fd;
    InstallHandlers();
    m_rows = LINES;
    m_cols = COLS;
}

TerminalSession::~TerminalSession() {
    if (m_outer) return;  // the outer session gives the terminal back
    t_session = nullptr;
    if (m_screen) {
        curs_set(1);
        endwin();
        delscreen(m_screen);
        m_screen = nullptr;
    }
    if (m_fd >= 0) tcsetattr(m_fd, TCSADRAIN, &m_saved);
    if (g_ttyFd >= 0) {
        RestoreDispositions();
        g_ttyFd = -1;
    }
    if (m_locale) {
        uselocale(m_previousLocale);
        freelocale(m_locale);
    }
    if (m_in) fclose(static_cast<FILE*>(m_in));
    if (m_out) fclose(static_cast<FILE*>(m_out));
}

bool TerminalSession::Usable(char* why, std::size_t whySize) {
    const char* term = g_term;
    const char* problem = nullptr;
    if (!term || !*term || strcmp(term, "dumb") == 0) problem = "no usable terminal type (TERM)";
    int fd = -1;
    if (!problem) {
        fd = ornlang::posix::OpenNoInt("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd < 0) problem = "no controlling terminal";
        else if (!InForeground(fd)) problem = kBackground;
    }
    if (!problem) {
        // Looked up without disturbing a terminal the application may use.
        TERMINAL* previous = cur_term;
        int error = 0;
        if (setupterm(const_cast<char*>(term), fd, &error) != OK) {
            problem = "the terminal type is unknown";
        } else {
            del_curterm(set_curterm(previous));
        }
    }
    if (fd >= 0) ::close(fd);
    if (problem && why && whySize > 0) snprintf(why, whySize, "%s", problem);
    return problem == nullptr;
}

bool TerminalSession::Interrupted() { return g_interrupted != 0; }

bool TerminalSession::Gone() const {
    struct pollfd p = {m_fd, POLLIN, 0};
    return m_fd < 0 || (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)));
}

bool TerminalSession::TakeRedraw() {
    bool redraw = false;
    if (g_stopped) {
        g_stopped = 0;
        // Curses does not know that the handler left its mode: a formal
        // leave, and the next refresh enters it again.
        endwin();
        redraw = true;
    }
    struct winsize size {};
    if (ioctl(m_fd, TIOCGWINSZ, &size) == 0 && size.ws_row > 0 && size.ws_col > 0 &&
        (size.ws_row != m_rows || size.ws_col != m_cols)) {
        m_rows = size.ws_row;
        m_cols = size.ws_col;
        resize_term(m_rows, m_cols);
        redraw = true;
    }
    if (redraw) clearok(curscr, TRUE);
    return redraw;
}

}  // namespace tui
}  // namespace dialog
}  // namespace orneh
