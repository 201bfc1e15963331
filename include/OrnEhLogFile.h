// OrnEhLogFile: the append-only error log file.
//
// A log file is opened, written and closed again for each record; while it is
// open no other writer (thread or process) can open it, so records never
// interleave. Every record is followed by a separator line when the file is
// closed. A limited file loses its oldest record at an open that finds it
// above its size limit.
//
// Thread safety: one object is used by one thread at a time. Different objects
// may write the same file from several threads and processes.
#ifndef ORNEH_ORNEHLOGFILE_H
#define ORNEH_ORNEHLOGFILE_H

#include "OrnEh.h"
#include "compat/OrnEhExport.h"

class ORNEH_API OrnEhLogFile {
public:
    // fileName may be null (then Open finds nothing); a separator longer than
    // 1024 characters is not kept. retryDelay is in milliseconds.
    OrnEhLogFile(const char* fileName, OrnEhLogfileStyle style, unsigned long maxSize,
                 const char* separator, unsigned long retryDelay, unsigned long maxAttempts);

    // Releases the object's memory. Does not write or close: call Close first.
    virtual ~OrnEhLogFile();

    // Opens the file for appending; 1 if a file is open afterwards, else 0.
    int Open();

    // Writes the separator line, flushes, and closes. The record is on disk
    // when Close returns.
    void Close();

    OrnEhLogFile& operator<<(const char* text);
    OrnEhLogFile& operator<<(unsigned short value);
    OrnEhLogFile& operator<<(short value);
    OrnEhLogFile& operator<<(unsigned long value);
    OrnEhLogFile& operator<<(long value);
    void WriteHex(unsigned long value);
    void NewLine(unsigned short count);
    void WriteDateTime();
    void SetBlanks(unsigned short count);

    // --- Used inside the library only (not exported). -----------------------

    // The standard log file: name from the search for an existing
    // ZKFEHLER.LOG, else FEHLER.LOG in the current directory; limited to
    // 1 MiB; 68 asterisks as separator; 100 ms x 10 attempts with a beep.
    ORNEH_LOCAL OrnEhLogFile();

    // Open as the reports do: a configured name first, then preferredName
    // (cut with the given style and limit), then the standard fallbacks.
    ORNEH_LOCAL int Open(const char* preferredName, OrnEhLogfileStyle style, unsigned long maxSize);

    ORNEH_LOCAL void SetFileName(const char* name);
    ORNEH_LOCAL void SetStyle(OrnEhLogfileStyle style);
    ORNEH_LOCAL void SetMaxSize(unsigned long maxSize);
    ORNEH_LOCAL OrnEhLogfileStyle GetStyle() const;
    ORNEH_LOCAL void GetDirectory(char* out, unsigned int size) const;
    ORNEH_LOCAL void GetFullPath(char* out, unsigned int size) const;

    // Hands every text written into the open file to tap as well (with the
    // file's indentation; not the separator); null stops it. The journal's
    // copy of a record.
    typedef void (*Tap)(void* context, const char* data, std::size_t length);
    ORNEH_LOCAL void SetTap(Tap tap, void* context);

    // Memory mode collects text in a heap string instead of the file.
    ORNEH_LOCAL int SetMemoryMode(int on);
    ORNEH_LOCAL const char* GetMemoryText() const;

private:
    OrnEhLogFile(const OrnEhLogFile&) = delete;
    OrnEhLogFile& operator=(const OrnEhLogFile&) = delete;

    struct State;
    State* m_state;
};

#endif
