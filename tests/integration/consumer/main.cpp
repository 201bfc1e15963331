// An application built against the installed package. It uses each exported
// class and function the way a user would, so that a missing export or
// header fails here, and exits non-zero on any mismatch. It prints where the
// language library found its module, for the test to compare with the
// installed place.
//
// consumer <dir> dialog: reports one error to the error dialog that
// ORNEH_DIALOG chooses and exits 0 when the dialog answered OK.
#include <cstdio>
#include <cstring>
#include <string>

#include <OrnEh.h>
#include <OrnEhBasis.h>
#include <OrnEhLogFile.h>
#include <OrnEhParam.h>
#include <OrnLanguagePublisher.h>

int g_destroyed = 0;

// An application's own exception class, declared the way applications do.
class AppException : public OrnEhBasis {
    DECLARE_DYNAMIC(AppException)
public:
    AppException(const char* cause, unsigned long errorNo, const OrnEhParam& params)
        : OrnEhBasis("consumer.cpp", "App", "Run", cause, errorNo, 0, params, 0, nullptr, 0, 0, 1) {}
    ~AppException() override {
        CheckBeforeDelete();
        ++g_destroyed;
    }
};

IMPLEMENT_DYNAMIC(AppException, OrnEhBasis)

namespace {

int g_failures = 0;

void Expect(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "consumer: %s\n", what);
    ++g_failures;
}

std::string Slurp(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
        std::fclose(f);
    }
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : ".", log = dir + "/consumer.log", report = dir + "/report.txt";
    std::remove(log.c_str());
    std::remove(report.c_str());
    OrnEhInitialize("consumer", OrnEhLogUnlimited, "standard.log", nullptr, dir.c_str(), 0);
    if (argc > 2 && std::strcmp(argv[2], "dialog") == 0) {
        try {
            throw new AppException("dialog", 3, OrnEhParam(0));
        } catch (OrnEhBasis* e) {
            return OrnEhBasis::Report(static_cast<HWND>(nullptr), e, 0, nullptr) == IDOK ? 0 : 1;
        }
    }
    const char* language = OrnLanguagePublisher::Instance()->GetLangDependentResourceName().GetString();
    Expect(*language != '\0', "the language module was found");
    std::printf("language module: %s\n", language);
    OrnEhLogFile file(log.c_str(), OrnEhLogUnlimited, 0, "----", 10, 3);
    Expect(file.Open() == 1, "Open of a fresh file");
    file << "value: " << 42UL << "\r\n";
    file.Close();
    Expect(Slurp(log) == "value: 42\r\n----\r\n", "log file contents");
    char* copy = OrnEhCopyString("abc");
    Expect(copy && std::strcmp(copy, "abc") == 0, "OrnEhCopyString");
    OrnEhDeleteString(copy);
    Expect(std::strcmp(RUNTIME_CLASS(AppException)->m_lpszClassName, "AppException") == 0 &&
               RUNTIME_CLASS(AppException)->m_pBaseClass == RUNTIME_CLASS(OrnEhBasis), "run-time class");
    OrnEhParam params(2);
    params.SetParam("a.txt");
    params.SetParam(7L);
    OrnEhParam copied(params);
    Expect(copied.GetParamAnz() == 2 && copied.GetParam(1) && std::strcmp(copied.GetParam(1), "7") == 0,
           "a copy of a parameter list");
    AppException* first = nullptr;
    try {
        first = new AppException("first", 1, params);
        throw new AppException("second", 2, copied);
    } catch (OrnEhBasis* e) {
        Expect(e->IsKindOf(RUNTIME_CLASS(AppException)) && e->GetPrev() == first && OrnEhBasis::GetLast() == e,
               "the chain");
        Expect(OrnEhBasis::Report(report.c_str(), e, 0, "Caption") == 1, "file report result");
        Expect(g_destroyed == 1 && OrnEhBasis::GetLast() == nullptr, "the release deleted the older exception");
    }
    if (g_failures == 0) std::printf("consumer: all checks passed\n");
    return g_failures == 0 ? 0 : 1;
}
