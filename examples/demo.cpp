// demo: an application that uses the error-handling library the way a real
// one does. It initialises the library, runs into five kinds of failure,
// reports each in the error dialog (a window on a desktop, full screen in a
// terminal, written to stderr without either; ORNEH_DIALOG chooses), and
// shows the error log file at the end.
//
//   demo [output-directory]      (default: ./demo-output)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <OrnEh.h>
#include <OrnEhBasis.h>
#include <OrnEhCLib.h>
#include <OrnEhCOM.h>
#include <OrnEhParam.h>
#include <OrnEhSEH.h>
#include <OrnEhSTL.h>
#include <OrnEhWin32.h>

#include "demo_ids.h"

std::string g_textModule;  // demo.res, beside the executable

// The application's own exception class: its texts come from the demo's
// resource module, and its messages carry the application code "DM".
class DemoException : public OrnEhBasis {
    DECLARE_DYNAMIC(DemoException)
public:
    DemoException(const char* method, const char* cause, unsigned long textNo,
                  const OrnEhParam& params, CException* prev)
        : OrnEhBasis(__FILE__, "ConfigReader", method, cause, 0, textNo, params, 0, prev, 0, 0, 1) {}
    ~DemoException() override { CheckBeforeDelete(); }

    void GetApplication(char* buffer, unsigned long size) const override {
        if (buffer && size >= 3) std::snprintf(buffer, size, "%s", "DM");
    }

protected:
    const char* GetResourceModulname() const override { return g_textModule.c_str(); }
    unsigned long GetResIdForTextInfo() const override { return IDR_DEMO_TEXTS; }
    unsigned long GetResIdForCaption() const override { return IDR_DEMO_CAPTIONS; }
};

IMPLEMENT_DYNAMIC(DemoException, OrnEhBasis)

namespace {

void Heading(int step, const char* what) {
    std::fflush(stderr);
    std::printf("\n[%d] %s\n", step, what);
    std::fflush(stdout);
}

std::string Directory(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string ExecutableDirectory() {
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0) return ".";
    buffer[n] = '\0';
    return Directory(buffer);
}

// 1. A system call fails: the thread's last error becomes the exception.
void OpenMissingFile(const std::string& dir) {
    std::string path = dir + "/settings/missing.ini";
    int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) throw new OrnEhWin32(__FILE__, "open", "Opening the settings file", 0, 0, 1);
    close(fd);
}

// 2. A runtime-library call reads too little; the application raises its own
//    error with parameters and the first failure as its cause.
void ReadConfiguration(const std::string& dir) {
    std::string path = dir + "/demo.cfg";
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fputs("short", f);
        std::fclose(f);
    }
    CException* cause = nullptr;
    FILE* f = std::fopen(path.c_str(), "rb");
    char buffer[64];
    std::size_t got = f ? std::fread(buffer, 1, sizeof buffer, f) : 0;
    if (f) std::fclose(f);
    if (got < sizeof buffer) {
        cause = new OrnEhCLib(__FILE__, "fread", "Reading the configuration", 0, 0, 1);
        OrnEhParam params(3);
        params.SetParam(path.c_str());
        params.SetParam(static_cast<unsigned long>(sizeof buffer));
        params.SetParam(static_cast<unsigned long>(got));
        throw new DemoException("ReadConfiguration", "configuration file too short",
                                DEMO_TEXT_CONFIG_SHORT, params, cause);
    }
}

// 3. The standard library throws.
int PickEntry() {
    std::vector<int> entries(3, 7);
    return entries.at(10);
}

// 4. An exception of MFC's family arrives from a lower layer.
void SaveReport() { throw new CFileException(CFileException::accessDenied, EACCES); }

// 5. The processor faults: a write through a null pointer.
__attribute__((noinline)) void WriteThrough(volatile int* p) { *p = 42; }

// 6. A COM component fails.
void CallComponent() { throw _com_error(E_FAIL); }

void ShowLog(const std::string& path) {
    std::fflush(stderr);
    std::printf("\n=== The error log file %s ===\n", path.c_str());
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        std::printf("(not found)\n");
        return;
    }
    // The log is code page 1252 with CR LF line ends; the terminal wants UTF-8.
    int c;
    while ((c = std::fgetc(f)) != EOF) {
        if (c == '\r') continue;
        if (c < 0x80) {
            std::putchar(c);
        } else {
            std::putchar(0xC0 | (c >> 6));
            std::putchar(0x80 | (c & 0x3F));
        }
    }
    std::fclose(f);
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : "demo-output";
    mkdir(dir.c_str(), 0777);
    std::string logName = "demo.log";
    std::remove((dir + "/" + logName).c_str());
    g_textModule = ExecutableDirectory() + "/demo.res";

    OrnEhInitialize("Demo", OrnEhLogLimited, logName.c_str(), nullptr, dir.c_str(), 1048576);

    Heading(1, "A system call fails (OrnEhWin32)");
    try {
        OpenMissingFile(dir);
    } catch (OrnEhBasis* e) {
        OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 0, nullptr);
    }

    Heading(2, "A runtime error with parameters and the application's own texts");
    try {
        ReadConfiguration(dir);
    } catch (OrnEhBasis* e) {
        OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 0, nullptr);
    }

    Heading(3, "A standard-library exception (OrnEhSTL)");
    try {
        try {
            PickEntry();
        } catch (const std::exception& ex) {
            throw new OrnEhSTL(ex, 1);
        }
    } catch (OrnEhBasis* e) {
        OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 0, nullptr);
    }

    Heading(4, "An MFC-style exception, wrapped on its way in (OrnEhMFC)");
    try {
        SaveReport();
    } catch (CException* e) {
        OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 1, nullptr);
    }

    Heading(5, "A processor fault, translated into an exception (OrnEhSEH)");
    try {
        WriteThrough(nullptr);
    } catch (OrnEhBasis* e) {
        std::printf("caught %s with code 0x%lX\n", e->GetRuntimeClass()->m_lpszClassName, e->GetErrorNo());
        OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 0, nullptr);
    }

    Heading(6, "A COM error (OrnEhCOM)");
    try {
        try {
            CallComponent();
        } catch (const _com_error& error) {
            throw new OrnEhCOM(error, 1);
        }
    } catch (OrnEhBasis* e) {
        OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 0, nullptr);
    }

    ShowLog(dir + "/" + logName);
    return 0;
}
