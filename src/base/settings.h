// The library's settings from the environment, read once when the module
// loads and kept for the life of the process: nothing reads the environment
// later, so no thread races an application's setenv, and no hot path pays
// for a lookup.
//
// One row a setting: its name in code, the variable, its default (what an
// unset variable means; null: unset is a value of its own) and its values.
// A new setting is one more row; the module reads it with the others.
#ifndef ORNEH_BASE_SETTINGS_H
#define ORNEH_BASE_SETTINGS_H

// clang-format off
#define ORNEH_SETTINGS(X)                                                                                \
    /* name            variable               default    values                                       */ \
    X(kDialog,         "ORNEH_DIALOG",        "auto",    "auto, gui, terminal, headless (empty: auto)")  \
    X(kDialogAnswer,   "ORNEH_DIALOG_ANSWER", nullptr,   "1, 2, 3, ok, cancel, abort, retry, ignore, yes, no: the headless answer") \
    X(kTextEncoding,   "ORNEH_TEXT_ENCODING", "cp1252",  "cp1252, utf-8: the encoding of the application's texts") \
    X(kReportEncoding, "ORNEH_REPORT_ENCODING", "cp1252", "cp1252 (CR LF), utf-8 (LF): a saved report's encoding") \
    X(kCi,             "CI",                  nullptr,   "set: nobody answers; auto mode writes the dialog to stderr") \
    X(kStackTrace,     "ORNEH_STACKTRACE",    "faults",  "faults, all, off: which records carry a stack") \
    X(kJournal,        "ORNEH_JOURNAL",       "auto",    "auto, on, off: records also to the systemd journal (auto: when JOURNAL_STREAM is set)") \
    X(kJournalStream,  "JOURNAL_STREAM",      nullptr,   "set by systemd for a service: the journal's auto mode is on") \
    X(kOleDebug,       "OLE_DEBUG",           nullptr,   "set (any value): no top-level fault filter")   \
    X(kTmp,            "TMP",                 nullptr,   "searched first for ZKFEHLER.LOG")              \
    X(kTemp,           "TEMP",                nullptr,   "searched second for ZKFEHLER.LOG")             \
    X(kTmpDir,         "TMPDIR",              nullptr,   "searched third for ZKFEHLER.LOG")              \
    X(kWaylandDisplay, "WAYLAND_DISPLAY",     nullptr,   "not empty: a display for the graphical dialog") \
    X(kDisplay,        "DISPLAY",             nullptr,   "not empty: a display for the graphical dialog")
// clang-format on

namespace orneh {
namespace base {

enum class Setting {
#define ORNEH_SETTING_NAME(name, variable, fallback, values) name,
    ORNEH_SETTINGS(ORNEH_SETTING_NAME)
#undef ORNEH_SETTING_NAME
};

// Reads every setting's variable; the module's constructor calls it. Only
// the first call reads; a setting asked for before it reads them all then.
void LoadSettings() noexcept;

// The setting as read: the variable's text (possibly empty), or the row's
// default when the variable was unset (null for a row without one). The
// text stays valid for the life of the process. Any thread.
const char* GetSetting(Setting setting) noexcept;

// For tests, which change the environment after the module has loaded:
// gives the setting of variable the value (null: unset) as if it had been
// read at load. A variable that is no setting is ignored.
void SetSettingForTesting(const char* variable, const char* value) noexcept;

}  // namespace base
}  // namespace orneh

#endif
