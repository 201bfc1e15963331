// Processor faults in registered threads arrive in catch handlers as
// OrnEhSEH exceptions that are already the newest of the thread's chain,
// again and again, each kind with its code.
#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cstdint>
#include <string>
#include <thread>

#include "OrnEh.h"
#include "OrnEhLogFile.h"
#include "OrnEhSEH.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace {

// The faults are the point: the compiler must neither drop these calls nor
// reason about them, and the undefined-behaviour checks must let them happen.
#define FAULTING __attribute__((noipa, no_sanitize("undefined")))
volatile double g_sink;
FAULTING int ReadAt(volatile int* p) { return *p; }
FAULTING void DivideFloat(double a, double b) { g_sink = a / b; }

__attribute__((noipa)) int Recurse(int depth) {
    volatile char pad[2048];
    pad[0] = static_cast<char>(depth);
    if (depth < 0) return pad[0];  // never: keeps the compiler from calling it endless
    return Recurse(depth + 1) + pad[0];
}

// The dump of a caught fault, as its log record writes it.
std::string RecordOf(const OrnEhSEH* e) {
    OrnEhLogFile log(nullptr, OrnEhLogUnlimited, 0, nullptr, 0, 0);
    log.SetMemoryMode(1);
    e->Log(log);
    std::string record = log.GetMemoryText();
    log.SetMemoryMode(0);
    return record;
}

// The hexadecimal value of a line of the record ("Eip: " ...), or 0.
std::uintptr_t HexField(const std::string& record, const std::string& label) {
    std::string::size_type at = record.find(label);
    return at == std::string::npos ? 0 : std::stoull(record.substr(at + label.size()), nullptr, 16);
}

struct Caught {
    unsigned long code = 0;  // 0: nothing caught
    std::string record;
};

// Runs body in a fresh registered thread and returns what it caught, after
// checking that it is an OrnEhSEH and the newest exception of the chain.
template <typename Body>
Caught CatchFault(Body body) {
    Caught caught;
    std::thread worker([&] {
        OrnEhInitThreadExHandling();
        try {
            body();
        } catch (OrnEhBasis* e) {
            EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(OrnEhSEH)));
            EXPECT_EQ(OrnEhBasis::GetLast(), e);
            caught.code = e->GetErrorNo();
            caught.record = RecordOf(static_cast<OrnEhSEH*>(e));
        }
        zkqtest::ClearChain();
    });
    worker.join();
    return caught;
}

// Faults caught again and again in one thread: the handler is armed again
// after each, and a floating-point trap stays enabled.
TEST(FaultTest, RepeatedFault) {
    std::thread worker([] {
        OrnEhInitThreadExHandling();
        feenableexcept(FE_DIVBYZERO);
        const std::pair<void (*)(), unsigned long> rows[] = {{[] { ReadAt(nullptr); }, 0xC0000005ul},
                                                             {[] { DivideFloat(1.0, 0.0); }, 0xC000008Eul}};
        for (const auto& [body, expected] : rows) {
            for (int i = 0; i < 3; ++i) {
                unsigned long code = 0;
                try {
                    body();
                } catch (OrnEhSEH* e) {
                    code = e->GetErrorNo();
                }
                EXPECT_EQ(code, expected) << "fault " << i;
            }
        }
        EXPECT_NE(fegetexcept() & FE_DIVBYZERO, 0);
        fedisableexcept(FE_ALL_EXCEPT);
        zkqtest::ClearChain();
    });
    worker.join();
}

#if defined(__x86_64__)
// Every kind of fault with the code it is reported with. Linux gives some of
// them the same signal and code; the handler tells them apart by the
// instruction.
struct FaultRow {
    const char* name;
    void (*body)();
    unsigned long code;
    const void* address;  // the exception address, where the row fixes it
};

const int kDivisorsZero[4] = {7, 7, 7, 0};
const int kDivisorsMinusOne[4] = {0, 0, 0, -1};
alignas(8) char g_aligned[16];

const FaultRow kFaults[] = {
    {"access violation", [] { zkq_read(nullptr); }, 0xC0000005, nullptr},
    {"non-canonical address (general protection)",
     [] { zkq_read(reinterpret_cast<const void*>(0x8000000000000000ull)); }, 0xC0000005, nullptr},
    {"page no file backs", &zkqtest::ReadBeyondMappedFile, 0xC0000006, nullptr},
    {"division by zero", &zkqtest::DivideByZero, 0xC0000094, nullptr},
    {"division by zero in memory", [] { zkq_idiv_memory(1, kDivisorsZero, 1); }, 0xC0000094, nullptr},
    {"INT_MIN / -1", [] { zkq_idiv_register(INT_MIN, -1); }, 0xC0000095, nullptr},
    {"INT_MIN / -1 in memory", [] { zkq_idiv_memory(INT_MIN, kDivisorsMinusOne, 1); }, 0xC0000095,
     nullptr},
    {"hlt", &zkq_hlt, 0xC0000096, reinterpret_cast<const void*>(&zkq_hlt)},
    {"cli", &zkq_cli, 0xC0000096, reinterpret_cast<const void*>(&zkq_cli)},
    {"in", &zkq_in, 0xC0000096, nullptr},
    {"ud2", &zkq_ud2, 0xC000001D, reinterpret_cast<const void*>(&zkq_ud2)},
    {"int3", &zkq_int3, 0x80000003, zkq_int3_at},
    {"misaligned read with alignment check", [] { zkq_misaligned_read(g_aligned); }, 0x80000002,
     nullptr},
};

TEST(FaultTest, CodeOfEachKind) {
    for (const FaultRow& row : kFaults) {
        Caught caught = CatchFault(row.body);
        EXPECT_EQ(caught.code, row.code) << row.name;
        if (!row.address) continue;
        // The instruction's own address, in the record and in the context.
        auto expected = reinterpret_cast<std::uintptr_t>(row.address);
        EXPECT_EQ(HexField(caught.record, "Exceptionadresse: "), expected) << row.name;
        EXPECT_EQ(HexField(caught.record, "Eip: "), expected) << row.name;
    }
}
#endif

#if !defined(ZKQ_SANITIZER_asan)
TEST(FaultTest, StackOverflow) {
    EXPECT_EQ(CatchFault([] { Recurse(0); }).code, 0xC00000FDul);
}
#endif

TEST(FaultTest, FaultAddressInTheRecord) {
    std::string record = CatchFault([] { ReadAt(nullptr); }).record;
    EXPECT_TRUE(zkqtest::Contains(record, {"Exceptioncode: EXCEPTION_ACCESS_VIOLATION\r\nExceptionflag: 0\r\n"}));
    // The address of the fault is the instruction pointer of the context.
    std::uintptr_t address = HexField(record, "Exceptionadresse: ");
    EXPECT_EQ(address, HexField(record, "Eip: "));
    auto function = reinterpret_cast<std::uintptr_t>(&ReadAt);
    EXPECT_GE(address, function);
    EXPECT_LT(address, function + 1024);  // inside ReadAt, instrumented or not
}

}  // namespace
