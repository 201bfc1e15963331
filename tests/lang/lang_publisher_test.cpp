// The publisher's choice of language and module, each case in a process of
// its own (the probe program), because the choice is made once per process.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/test_util.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char* const kLanguageVariables[] = {"ORNLANG", "ORNLANG_RESOURCE_DIR", "LC_ALL", "LC_MESSAGES",
                                          "LANG", "LANGUAGE"};

using Env = std::map<std::string, std::string>;
using Result = std::map<std::string, std::string>;

// Runs probe with this process's environment minus every language variable,
// plus env; returns its "key=value" lines.
Result RunProbe(const std::string& probe, const Env& env) {
    std::vector<std::string> entries;
    for (char** e = environ; *e; ++e) {
        std::string entry = *e;
        std::string name = entry.substr(0, entry.find('='));
        bool language = false;
        for (const char* v : kLanguageVariables) language = language || name == v;
        if (!language) entries.push_back(entry);
    }
    for (const auto& [name, value] : env) entries.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& entry : entries) envp.push_back(&entry[0]);
    envp.push_back(nullptr);

    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        char* argv[] = {const_cast<char*>(probe.c_str()), nullptr};
        execve(probe.c_str(), argv, envp.data());
        _exit(127);
    }
    close(fds[1]);
    std::string output;
    char buffer[512];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) output.append(buffer, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;

    Result result;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) end = output.size();
        std::string line = output.substr(start, end - start);
        std::size_t eq = line.find('=');
        if (eq != std::string::npos) result[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return result;
}

std::string Canonical(const std::string& path) { return fs::canonical(path).string(); }

std::string ShareModule(const char* language) {
    return Canonical(std::string(ZKQ_LANG_SHARE_DIR) + "/ZKQTRNLANG101." + language + ".res");
}

Result RunBuilt(const Env& env) { return RunProbe(ZKQ_LANG_PROBE, env); }

const std::string kShare = std::string(ZKQ_LANG_DATADIR) + "/ZKQTRNLANG101";

TEST(LanguagePublisher, OrnlangDecidesFirst) {
    Result de = RunBuilt({{"ORNLANG", "de"}, {"LANG", "en_US.UTF-8"}});
    EXPECT_EQ(de["language"], "de");
    EXPECT_EQ(de["module"], "1");
    EXPECT_EQ(de["path"], ShareModule("de"));
    EXPECT_EQ(de["caption"], "Fehler");
    EXPECT_EQ(de["same"], "1");

    Result en = RunBuilt({{"ORNLANG", "en"}, {"LC_ALL", "de_DE.UTF-8"}});
    EXPECT_EQ(en["language"], "en");
    EXPECT_EQ(en["path"], ShareModule("en"));
    EXPECT_EQ(en["caption"], "Error");
}

TEST(LanguagePublisher, LocaleVariablesInTheirOrder) {
    struct Case {
        Env env;
        const char* language;
    };
    const Case cases[] = {
        {{}, "en"},
        {{{"LANG", "de_DE.UTF-8"}}, "de"},
        {{{"LANG", "de"}}, "de"},
        {{{"LANG", "C"}}, "en"},
        {{{"LANG", "fr_FR.UTF-8"}}, "en"},
        {{{"LC_MESSAGES", "de_AT.UTF-8"}, {"LANG", "en_US.UTF-8"}}, "de"},
        {{{"LC_ALL", "en_GB.UTF-8"}, {"LC_MESSAGES", "de_DE"}, {"LANG", "de_DE"}}, "en"},
        {{{"LC_ALL", ""}, {"LC_MESSAGES", ""}, {"LANG", "de_CH.UTF-8"}}, "de"},
        {{{"ORNLANG", ""}, {"LANG", "de_DE.UTF-8"}}, "de"},
    };
    for (const Case& c : cases) {
        std::string described;
        for (const auto& [name, value] : c.env) described += name + "='" + value + "' ";
        Result result = RunBuilt(c.env);
        EXPECT_EQ(result["language"], c.language) << described;
        EXPECT_EQ(result["path"], ShareModule(c.language)) << described;
    }
}

TEST(LanguagePublisher, ResourceDirectoryComesBeforeTheInstalledModules) {
    zkqtest::TempDir dir;
    fs::copy_file(ShareModule("de"), dir.file("ZKQTRNLANG101.de.res"));
    Result result = RunBuilt({{"ORNLANG", "de"}, {"ORNLANG_RESOURCE_DIR", dir.path()}});
    EXPECT_EQ(result["path"], Canonical(dir.file("ZKQTRNLANG101.de.res")));
    EXPECT_EQ(result["caption"], "Fehler");
}

TEST(LanguagePublisher, TheLanguageMattersMoreThanThePlace) {
    // The resource directory holds only English: German comes from the
    // installed modules.
    zkqtest::TempDir dir;
    fs::copy_file(ShareModule("en"), dir.file("ZKQTRNLANG101.en.res"));
    Result result = RunBuilt({{"ORNLANG", "de"}, {"ORNLANG_RESOURCE_DIR", dir.path()}});
    EXPECT_EQ(result["language"], "de");
    EXPECT_EQ(result["path"], ShareModule("de"));
}

TEST(LanguagePublisher, DamagedModuleIsPassedOver) {
    zkqtest::TempDir dir;
    zkqtest::WriteFile(dir.file("ZKQTRNLANG101.de.res"), "not a resource module");
    Result result = RunBuilt({{"ORNLANG", "de"}, {"ORNLANG_RESOURCE_DIR", dir.path()}});
    EXPECT_EQ(result["path"], ShareModule("de"));
}

// A tree like an installation: root/bin/lang_probe, root/<libdir>/<library>,
// and whatever modules a test puts where.
class InstalledTree {
public:
    InstalledTree() {
        fs::create_directories(m_root.file("bin"));
        fs::create_directories(m_root.file(ZKQ_LANG_LIBDIR));
        fs::copy_file(ZKQ_LANG_PROBE, probe());
        fs::path library(ZKQ_LANG_LIBRARY);
        fs::copy_file(library, fs::path(m_root.file(ZKQ_LANG_LIBDIR)) / library.filename());
    }
    std::string probe() const { return m_root.file("bin/lang_probe"); }
    std::string Put(const std::string& relativeDir, const char* language) {
        fs::create_directories(m_root.file(relativeDir));
        std::string target = m_root.file(relativeDir + "/ZKQTRNLANG101." + language + ".res");
        fs::copy_file(ShareModule(language), target);
        return Canonical(target);
    }
    Result Run(const Env& env) const { return RunProbe(probe(), env); }

private:
    zkqtest::TempDir m_root;
};

TEST(LanguagePublisher, InstalledShareDirectoryIsFoundFromTheLibrary) {
    InstalledTree tree;
    std::string installed = tree.Put(kShare, "de");
    tree.Put("bin", "de");  // beside the executable comes later
    Result result = tree.Run({{"LANG", "de_DE.UTF-8"}});
    EXPECT_EQ(result["path"], installed);
    EXPECT_EQ(result["caption"], "Fehler");
}

TEST(LanguagePublisher, ModuleBesideTheExecutableIsTheLastPlace) {
    InstalledTree tree;
    std::string beside = tree.Put("bin", "en");
    Result result = tree.Run({{"LANG", "en_US.UTF-8"}});
    EXPECT_EQ(result["path"], beside);
    EXPECT_EQ(result["caption"], "Error");
}

TEST(LanguagePublisher, FallsBackToTheOtherLanguage) {
    InstalledTree tree;
    std::string english = tree.Put("bin", "en");
    Result result = tree.Run({{"ORNLANG", "de"}});
    EXPECT_EQ(result["language"], "en");
    EXPECT_EQ(result["path"], english);
    EXPECT_EQ(result["caption"], "Error");

    InstalledTree other;
    std::string german = other.Put(kShare, "de");
    result = other.Run({{"LANG", "C"}});
    EXPECT_EQ(result["language"], "de");
    EXPECT_EQ(result["path"], german);
}

TEST(LanguagePublisher, NoModuleAnywhereStillGivesAPublisher) {
    InstalledTree tree;
    Result result = tree.Run({{"ORNLANG", "de"}});
    EXPECT_EQ(result["language"], "de");
    EXPECT_EQ(result["module"], "0");
    EXPECT_EQ(result["path"], "");
    EXPECT_EQ(result["caption"], "<none>");
    EXPECT_EQ(result["same"], "1");
}

}  // namespace
