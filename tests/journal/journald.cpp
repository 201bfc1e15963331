#include "journal/journald.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "support/test_util.h"

extern char** environ;

namespace zkqtest {
namespace {

std::string g_entered;  // "" before the first Start, "ok" or the reason after
pid_t g_pid = -1;

const char kSocket[] = "/run/systemd/journal/socket";

std::string EnterNamespace() {
    if (::unshare(CLONE_NEWNS) != 0) return std::string("no private mount namespace: ") + std::strerror(errno);
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return std::string("mounts cannot be made private: ") + std::strerror(errno);
    }
    for (const char* dir : {"/run/systemd/journal", "/run/log", "/var/log/journal"}) {
        struct stat info;
        if (std::strcmp(dir, "/var/log/journal") == 0 && ::stat(dir, &info) != 0) continue;
        ::mkdir(dir, 0755);
        if (::mount("tmpfs", dir, "tmpfs", 0, "mode=0755") != 0) {
            return std::string("no tmpfs on ") + dir + ": " + std::strerror(errno);
        }
    }
    return "ok";
}

const char* Daemon() {
    for (const char* path : {"/lib/systemd/systemd-journald", "/usr/lib/systemd/systemd-journald"}) {
        if (::access(path, X_OK) == 0) return path;
    }
    return nullptr;
}

bool Running() { return g_pid > 0 && ::kill(g_pid, 0) == 0; }

// The export format: "NAME=value\n", or "NAME\n" with a 64-bit
// little-endian length, the value and "\n"; an empty line ends an entry.
std::vector<JournalEntry> ParseExport(const std::string& text) {
    std::vector<JournalEntry> entries;
    JournalEntry entry;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) break;
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) {
            if (!entry.empty()) entries.push_back(std::move(entry));
            entry.clear();
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) {
            entry[line.substr(0, equals)].push_back(line.substr(equals + 1));
            continue;
        }
        std::uint64_t length = 0;
        for (int i = 7; i >= 0 && at + 8 <= text.size(); --i) length = (length << 8) | static_cast<unsigned char>(text[at + i]);
        entry[line].push_back(text.substr(at + 8, length));
        at += 8 + length + 1;
    }
    if (!entry.empty()) entries.push_back(std::move(entry));
    return entries;
}

}  // namespace

std::string Journald::Start() {
    if (g_entered.empty()) g_entered = EnterNamespace();
    if (g_entered != "ok") return g_entered;
    // A fresh journal for each start.
    Stop();
    RunCommand("rm -rf /run/log/journal/* /var/log/journal/* 2>/dev/null");
    const char* daemon = Daemon();
    if (!daemon) return "systemd-journald is not installed";
    ::unlink(kSocket);
    char* argv[] = {const_cast<char*>(daemon), nullptr};
    // Its output (kernel messages it forwards, its own notes) is not ours.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int failed = posix_spawn(&g_pid, daemon, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return std::string("systemd-journald does not start: ") + std::strerror(failed);
    if (!WaitUntil([] { return ::access(kSocket, F_OK) == 0 || !Running(); }, 20000) || !Running()) {
        return "systemd-journald ended without opening its socket";
    }
    return "";
}

void Journald::Stop() {
    if (g_pid <= 0) return;
    ::kill(g_pid, SIGCONT);
    ::kill(g_pid, SIGTERM);
    ::waitpid(g_pid, nullptr, 0);
    g_pid = -1;
}

pid_t Journald::Pid() { return g_pid; }

std::vector<JournalEntry> Journald::Read(const std::string& matches, std::size_t atLeast) {
    std::vector<JournalEntry> entries;
    WaitUntil(
        [&] {
            entries = ParseExport(RunCommand("journalctl -q --no-pager -o export " + matches + " 2>/dev/null"));
            return entries.size() >= atLeast;
        },
        20000, 100);
    return entries;
}

std::string Field(const JournalEntry& entry, const std::string& name) {
    const auto found = entry.find(name);
    if (found == entry.end()) return "";
    EXPECT_EQ(found->second.size(), 1u) << name << " is repeated";
    return found->second.front();
}

CapturedStderr::CapturedStderr(const std::string& path) : m_path(path), m_saved(::dup(2)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ::dup2(fd, 2);
    ::close(fd);
}

CapturedStderr::~CapturedStderr() {
    ::dup2(m_saved, 2);
    ::close(m_saved);
}

std::string CapturedStderr::Text() const { return ReadFile(m_path); }

}  // namespace zkqtest
