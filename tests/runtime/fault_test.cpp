// Processor faults in registered threads arrive in catch handlers as
// OrnEhSEH exceptions that are already the newest of the thread's chain,
// again and again.
#include <gtest/gtest.h>

#include <cfenv>
#include <string>
#include <thread>

#include "OrnEh.h"
#include "OrnEhLogFile.h"
#include "OrnEhSEH.h"
#include "support/test_exceptions.h"

namespace {

// The faults are the point: the compiler must neither drop these calls nor
// reason about them, and the undefined-behaviour checks must let them happen.
#define FAULTING __attribute__((noipa, no_sanitize("undefined")))
volatile double g_sink;
FAULTING int ReadAt(volatile int* p) { return *p; }
FAULTING void Divide(int a, int b) { g_sink = a / b; }
FAULTING void DivideFloat(double a, double b) { g_sink = a / b; }

__attribute__((noipa)) int Recurse(int depth) {
    volatile char pad[2048];
    pad[0] = static_cast<char>(depth);
    if (depth < 0) return pad[0];  // never: keeps the compiler from calling it endless
    return Recurse(depth + 1) + pad[0];
}

// Runs body in a fresh registered thread and returns the code of the
// OrnEhSEH it caught (0 if none), after checking that it is the newest
// exception of the thread's chain.
template <typename Body>
unsigned long CaughtCode(Body body) {
    unsigned long code = 0;
    std::thread worker([&] {
        OrnEhInitThreadExHandling();
        try {
            body();
        } catch (OrnEhBasis* e) {
            EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(OrnEhSEH)));
            EXPECT_EQ(OrnEhBasis::GetLast(), e);
            code = e->GetErrorNo();
        }
        zkqtest::ClearChain();
    });
    worker.join();
    return code;
}

TEST(FaultTest, AccessViolationAgainAndAgain) {
    std::thread worker([] {
        OrnEhInitThreadExHandling();
        for (int i = 0; i < 3; ++i) {
            unsigned long code = 0;
            try {
                ReadAt(nullptr);
            } catch (OrnEhSEH* e) {
                code = e->GetErrorNo();
                EXPECT_EQ(e->GetErrorTextNo(), 1u);
            }
            EXPECT_EQ(code, 0xC0000005ul) << "fault " << i;
        }
        zkqtest::ClearChain();
    });
    worker.join();
}

TEST(FaultTest, IntegerDivisionByZero) {
    EXPECT_EQ(CaughtCode([] { Divide(1, 0); }), 0xC0000094ul);
}

TEST(FaultTest, FloatingPointTrapsAndControlStateRestored) {
    std::thread worker([] {
        OrnEhInitThreadExHandling();
        feenableexcept(FE_DIVBYZERO);
        for (int i = 0; i < 2; ++i) {
            unsigned long code = 0;
            try {
                DivideFloat(1.0, 0.0);
            } catch (OrnEhSEH* e) {
                code = e->GetErrorNo();
            }
            EXPECT_EQ(code, 0xC000008Eul) << "fault " << i;
        }
        EXPECT_NE(fegetexcept() & FE_DIVBYZERO, 0);  // the trap is still enabled
        fedisableexcept(FE_ALL_EXCEPT);
        zkqtest::ClearChain();
    });
    worker.join();
}

#if !defined(ZKQ_SANITIZER_asan)
TEST(FaultTest, StackOverflowInARegisteredThread) {
    EXPECT_EQ(CaughtCode([] { Recurse(0); }), 0xC00000FDul);
}
#endif

TEST(FaultTest, RecordCarriesTheCodeAddressAndRegisters) {
    std::string record;
    std::thread worker([&] {
        OrnEhInitThreadExHandling();
        try {
            ReadAt(nullptr);
        } catch (OrnEhSEH* e) {
            OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
            log.SetMemoryMode(1);
            e->Log(log);
            record = log.GetMemoryText();
            log.SetMemoryMode(0);
        }
        zkqtest::ClearChain();
    });
    worker.join();
    EXPECT_NE(record.find("Exceptioncode: EXCEPTION_ACCESS_VIOLATION\r\nExceptionflag: 0\r\n"),
              std::string::npos)
        << record;
    // The address of the fault is the instruction pointer of the context.
    std::string::size_type at = record.find("Exceptionadresse: ");
    std::string::size_type eip = record.find("Eip: ");
    ASSERT_NE(at, std::string::npos);
    ASSERT_NE(eip, std::string::npos);
    std::string address = record.substr(at + 18, record.find("\r\n", at) - at - 18);
    std::string instruction = record.substr(eip + 5, record.find("\r\n", eip) - eip - 5);
    EXPECT_EQ(address, instruction);
    auto expected = reinterpret_cast<std::uintptr_t>(&ReadAt);
    std::uintptr_t actual = std::stoull(address, nullptr, 16);
    EXPECT_GE(actual, expected);
    EXPECT_LT(actual, expected + 1024);  // inside ReadAt, instrumented or not
}

}  // namespace
