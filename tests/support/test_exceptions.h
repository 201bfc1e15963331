// Application-style exception classes for the tests, helpers that point the
// calling thread's standard log file at a file of the test's own, a fixture
// with an empty chain, and an exception's record as text.
#ifndef ZKQ_TESTS_SUPPORT_TEST_EXCEPTIONS_H
#define ZKQ_TESTS_SUPPORT_TEST_EXCEPTIONS_H

#include <atomic>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "OrnEhParam.h"

namespace zkqtest {

// Counts its destructions, so tests can tell which exceptions a chain
// operation deleted.
class TestException : public OrnEhBasis {
    DECLARE_DYNAMIC(TestException)
public:
    TestException(const char* cause, unsigned long errorNo, unsigned long errorTextNo, int push,
                  CException* prev = nullptr, int autoDelete = 0, unsigned long captionNo = 0)
        : OrnEhBasis("test.cpp", "TestClass", "Method", cause, errorNo, errorTextNo, captionNo,
                     prev, autoDelete, 0, push) {}
    TestException(const char* cause, const OrnEhParam& params, unsigned long errorTextNo, int push)
        : OrnEhBasis("test.cpp", "TestClass", "Method", cause, 0, errorTextNo, params, 0,
                     nullptr, 0, 0, push) {}
    ~TestException() override {
        CheckBeforeDelete();
        destroyed.fetch_add(1);
    }

    using OrnEhBasis::FormatErrorText;
    using OrnEhBasis::Log;
    using OrnEhBasis::Push;

    // An application's Log override: onLog, when set, runs first.
    void Log(OrnEhLogFile& log) const override {
        if (onLog) onLog(*this);
        OrnEhBasis::Log(log);
    }

    static std::atomic<int> destroyed;
    static void (*onLog)(const TestException&);
};

// A second class, derived from the first, for the class-filtered walks.
class DerivedTestException : public TestException {
    DECLARE_DYNAMIC(DerivedTestException)
public:
    DerivedTestException(const char* cause, int push) : TestException(cause, 0, 0, push) {}
    ~DerivedTestException() override { CheckBeforeDelete(); }
};

// A foreign exception of MFC's family with a message of its own.
class ForeignException : public CException {
    DECLARE_DYNAMIC(ForeignException)
public:
    explicit ForeignException(BOOL autoDelete = TRUE) : CException(autoDelete) {}
    ~ForeignException() override { destroyed.fetch_add(1); }
    BOOL GetErrorMessage(char* text, UINT max, UINT* help = nullptr) override;
    static std::atomic<int> destroyed;
};

// Points the calling thread's standard log file at path (unlimited, no
// application name change) and restores the defaults when it goes.
class ScopedStandardLog {
public:
    ScopedStandardLog(const std::string& dir, const char* fileName,
                      OrnEhLogfileStyle style = OrnEhLogUnlimited, unsigned long maxSize = 0);
    ~ScopedStandardLog();
    ScopedStandardLog(const ScopedStandardLog&) = delete;
    ScopedStandardLog& operator=(const ScopedStandardLog&) = delete;
    std::string path() const { return m_path; }

private:
    std::string m_path;
};

// The directory that every test program using these helpers works in: the
// standard log files of all threads write "standard.log" there unless a test
// points them elsewhere.
const std::string& WorkDir();

// Releases the calling thread's chain and drops the deferred exception, so
// that a test starts and ends with nothing held.
void ClearChain();

// The error numbers of the calling thread's chain, oldest first ("1 2 3 "),
// walked forward from the first exception; the walk back from the last must
// agree, or the text shows both.
std::string ChainNumbers();

// A test that starts and ends with the calling thread's chain empty.
class EmptyChainTest : public ::testing::Test {
protected:
    void SetUp() override { ClearChain(); }
    void TearDown() override { ClearChain(); }
};

// The record e writes (its stack block included), collected in memory mode:
// no indentation.
std::string RecordOf(const OrnEhBasis& e);

// The number of thread records the library's table has room for.
std::uint32_t RecordTableCapacity();

}  // namespace zkqtest

#endif
