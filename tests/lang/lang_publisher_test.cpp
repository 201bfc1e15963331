// The publisher's choice of language and module, each case in a process of
// its own (the probe program), because the choice is made once per process.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/test_util.h"

namespace {

namespace fs = std::filesystem;

// The canonical path of the module of language in dir.
std::string Module(const std::string& dir, const std::string& language) {
    return fs::canonical(dir + "/ZKQTRNLANG101." + language + ".res").string();
}

// Copies the built module of language into dir.
void Put(const std::string& dir, const std::string& language) {
    fs::create_directories(dir);
    fs::copy_file(Module(ZKQ_LANG_SHARE_DIR, language), dir + "/ZKQTRNLANG101." + language + ".res");
}

// An installation in root: bin/lang_probe beside <libdir>/<library>.
std::string Install(const zkqtest::TempDir& root) {
    fs::create_directories(root.file("bin"));
    fs::create_directories(root.file(ZKQ_LANG_LIBDIR));
    fs::copy_file(ZKQ_LANG_LIBRARY, root.file(ZKQ_LANG_LIBDIR) + "/" + fs::path(ZKQ_LANG_LIBRARY).filename().string());
    fs::copy_file(ZKQ_LANG_PROBE, root.file("bin/lang_probe"));
    return root.file("bin/lang_probe");
}

// The probe's line, run with the language variables replaced by env.
std::string RunProbe(const std::string& probe, const std::string& env) {
    const std::string command =
        "env -u ORNLANG -u ORNLANG_RESOURCE_DIR -u LC_ALL -u LC_MESSAGES -u LANG -u LANGUAGE " + env + " " + probe;
    bool ok = false;
    const std::string out = zkqtest::RunCommand(command, &ok);
    EXPECT_TRUE(ok) << command;
    return out.substr(0, out.find('\n'));
}

// What the probe prints for the module of language at path ("": none).
std::string Chose(const std::string& language, const std::string& path) {
    return language + " " + path + " " + (path.empty() ? "<none>" : language == "de" ? "Fehler" : "Error");
}

TEST(LanguagePublisher, ModuleChoice) {
    const std::string built = ZKQ_LANG_PROBE, share = std::string(ZKQ_LANG_DATADIR) + "/ZKQTRNLANG101";
    const std::string de = Chose("de", Module(ZKQ_LANG_SHARE_DIR, "de")), en = Chose("en", Module(ZKQ_LANG_SHARE_DIR, "en"));
    zkqtest::TempDir dirs, both, beside, empty;  // resource directories (damaged German in dirs); installations
    Put(dirs.file("de"), "de");
    Put(dirs.file("en"), "en");
    zkqtest::WriteFile(dirs.file("ZKQTRNLANG101.de.res"), "not a resource module");
    const std::string bothProbe = Install(both), besideProbe = Install(beside);
    Put(both.file(share), "de");
    Put(both.file("bin"), "de");
    Put(beside.file("bin"), "en");
    const std::string rows[][3] = {
        {built, "ORNLANG=de LANG=en_US.UTF-8", de},
        {built, "", en},
        {built, "LANG=de", de},
        {built, "LANG=C", en},
        {built, "LC_MESSAGES=de_AT.UTF-8 LANG=en_US.UTF-8", de},
        {built, "LC_ALL=en_GB.UTF-8 LC_MESSAGES=de_DE LANG=de_DE", en},
        {built, "LC_ALL= LC_MESSAGES= LANG=de_CH.UTF-8", de},
        {built, "ORNLANG= LANG=de_DE.UTF-8", de},
        {built, "ORNLANG=de ORNLANG_RESOURCE_DIR=" + dirs.file("de"), Chose("de", Module(dirs.file("de"), "de"))},
        // The language matters more than the place; a damaged module is passed over.
        {built, "ORNLANG=de ORNLANG_RESOURCE_DIR=" + dirs.file("en"), de},
        {built, "ORNLANG=de ORNLANG_RESOURCE_DIR=" + dirs.path(), de},
        // The installed share directory before the executable's; the other language last.
        {bothProbe, "LANG=de_DE.UTF-8", Chose("de", Module(both.file(share), "de"))},
        {besideProbe, "LANG=en_US.UTF-8", Chose("en", Module(beside.file("bin"), "en"))},
        {besideProbe, "ORNLANG=de", Chose("en", Module(beside.file("bin"), "en"))},
        {Install(empty), "ORNLANG=de", Chose("de", "")},
    };
    for (const auto& [probe, env, expected] : rows) {
        SCOPED_TRACE(probe + " with " + env);
        EXPECT_EQ(expected, RunProbe(probe, env));
    }
}

}  // namespace
