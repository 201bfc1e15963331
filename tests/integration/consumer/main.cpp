// An application built against the installed package. It exercises the
// exported interface the way a user would and exits non-zero on any mismatch.
#include <cstdio>
#include <cstring>
#include <string>

#include <OrnEh.h>
#include <OrnEhBasis.h>
#include <OrnEhLogFile.h>
#include <OrnEhParam.h>

int g_destroyed = 0;

// An application's own exception class, declared the way applications do.
class AppException : public OrnEhBasis {
    DECLARE_DYNAMIC(AppException)
public:
    AppException(const char* cause, unsigned long errorNo, int push)
        : OrnEhBasis("consumer.cpp", "App", "Run", cause, errorNo, 0, 0, nullptr, 0, 0, push) {}
    ~AppException() override {
        CheckBeforeDelete();
        ++g_destroyed;
    }
};

IMPLEMENT_DYNAMIC(AppException, OrnEhBasis)

namespace {

int g_failures = 0;

void Expect(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "consumer: %s\n", what);
        ++g_failures;
    }
}

std::string Slurp(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

void LogFileRoundTrip(const std::string& dir) {
    std::string path = dir + "/consumer.log";
    std::remove(path.c_str());
    OrnEhLogFile log(path.c_str(), OrnEhLogUnlimited, 0, "----", 10, 3);
    Expect(log.Open() == 1, "Open of a fresh file");
    log << "value: " << 42UL << "\r\n";
    log.Close();
    Expect(Slurp(path) == "value: 42\r\n----\r\n", "log file contents");
}

void Strings() {
    char* copy = OrnEhCopyString("abc");
    Expect(copy && std::strcmp(copy, "abc") == 0, "OrnEhCopyString");
    OrnEhDeleteString(copy);
}

void Params() {
    OrnEhParam params(2);
    params.SetParam("a.txt");
    params.SetParam(7L);
    OrnEhParam copy(params);
    Expect(copy.GetParamAnz() == 2, "GetParamAnz of a copy");
    Expect(copy.GetParam(1) && std::strcmp(copy.GetParam(1), "7") == 0, "GetParam of a copy");
}

void OwnExceptionClass(const std::string& dir) {
    OrnEhInitialize("consumer", OrnEhLogUnlimited, "standard.log", nullptr, dir.c_str(), 0);
    Expect(std::strcmp(RUNTIME_CLASS(AppException)->m_lpszClassName, "AppException") == 0,
           "run-time class name");
    Expect(RUNTIME_CLASS(AppException)->m_pBaseClass == RUNTIME_CLASS(OrnEhBasis), "base class");
    AppException* first = nullptr;
    try {
        first = new AppException("first", 1, 1);
        throw new AppException("second", 2, 1);
    } catch (OrnEhBasis* e) {
        Expect(e->IsKindOf(RUNTIME_CLASS(AppException)), "IsKindOf");
        Expect(e->GetPrev() == first, "chain link");
        Expect(OrnEhBasis::GetLast() == e, "newest exception");
        std::string report = dir + "/report.txt";
        std::remove(report.c_str());
        Expect(OrnEhBasis::Report(report.c_str(), e, 0, "Caption") == 1, "file report result");
        Expect(g_destroyed == 1, "the release deleted the older exception");
        Expect(OrnEhBasis::GetLast() == nullptr, "the chain is empty");
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    LogFileRoundTrip(dir);
    Strings();
    Params();
    OwnExceptionClass(dir);
    if (g_failures == 0) std::printf("consumer: all checks passed\n");
    return g_failures == 0 ? 0 : 1;
}
