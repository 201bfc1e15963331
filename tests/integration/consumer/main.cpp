// An application built against the installed package. It exercises the
// exported interface the way a user would and exits non-zero on any mismatch.
#include <cstdio>
#include <cstring>
#include <string>

#include <OrnEh.h>
#include <OrnEhLogFile.h>
#include <OrnEhParam.h>

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

}  // namespace

int main(int argc, char** argv) {
    std::string dir = argc > 1 ? argv[1] : ".";
    LogFileRoundTrip(dir);
    Strings();
    Params();
    if (g_failures == 0) std::printf("consumer: all checks passed\n");
    return g_failures == 0 ? 0 : 1;
}
