// Processor faults in registered threads arrive in catch handlers as
// OrnEhSEH exceptions that are already the newest of the thread's chain,
// again and again, each kind with its code.
#include <gtest/gtest.h>

#include <cfenv>
#include <climits>
#include <cstdint>
#include <ostream>
#include <string>
#include <thread>

#include "OrnEh.h"
#include "OrnEhSEH.h"
#include "base/alloc.h"
#include "support/faulting.h"
#include "support/test_exceptions.h"
#include "support/test_util.h"

namespace {

namespace at = orneh::base::alloctest;
using zkqtest::ReadAt;

volatile double g_sink;
__attribute__((noipa, no_sanitize("undefined"))) void DivideFloat(double a, double b) { g_sink = a / b; }

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
    std::thread([&] {
        OrnEhInitThreadExHandling();
        try {
            body();
        } catch (OrnEhBasis* e) {
            at::Reset();
            ASSERT_NE(e, nullptr);
            EXPECT_TRUE(e->IsKindOf(RUNTIME_CLASS(OrnEhSEH)));
            EXPECT_EQ(OrnEhBasis::GetLast(), e);
            caught = {e->GetErrorNo(), zkqtest::RecordOf(*e)};
        }
        zkqtest::ClearChain();
    }).join();
    return caught;
}

// The process's POSIX timers (/proc/self/timers has one "signal:" line each).
int TimerCount() {
    const std::string timers = zkqtest::ReadFile("/proc/self/timers");
    int count = 0;
    for (auto at = timers.find("signal:"); at != std::string::npos; at = timers.find("signal:", at + 1)) ++count;
    return count;
}

// Faults caught again and again in one thread: the handler is armed again
// after each, and a floating-point trap stays enabled. The thread's bound
// timer goes with the thread.
TEST(FaultTest, RepeatedFault) {
    const int timers = TimerCount();
    std::thread([] {
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
    }).join();
    EXPECT_EQ(TimerCount(), timers);
}

// Every kind of fault with the code it is reported with. Linux gives some of
// them the same signal and code; the handler tells them apart by the
// instruction.
struct FaultRow {
    const char* name;
    void (*body)();
    unsigned long code;
    const char* codeName;  // as the record writes the code
    const void* address;   // the faulting instruction, where the row fixes it
};
void PrintTo(const FaultRow& row, std::ostream* out) { *out << row.name; }

#if defined(__x86_64__)
const int kDivisorsZero[4] = {7, 7, 7, 0};
const int kDivisorsMinusOne[4] = {0, 0, 0, -1};
alignas(8) char g_aligned[16];
const void* const kRead = reinterpret_cast<const void*>(&zkq_read);

const FaultRow kFaults[] = {
    {"AccessViolation", [] { zkq_read(nullptr); }, 0xC0000005, "EXCEPTION_ACCESS_VIOLATION", kRead},
    // An alternate stack smaller than the handler needs, given after the
    // library gave the thread its own.
    {"OnSmallAltStack", [] { zkqtest::OwnAltStack(8192), zkq_read(nullptr); }, 0xC0000005, "EXCEPTION_ACCESS_VIOLATION", kRead},
    // No memory for the exception: the thread's reserve is thrown.
    {"NoMemoryForTheException", [] { at::FailAll(), zkq_read(nullptr); }, 0xC0000005, "EXCEPTION_ACCESS_VIOLATION", kRead},
    {"NonCanonicalAddress", [] { zkq_read(reinterpret_cast<const void*>(0x8000000000000000ull)); }, 0xC0000005,
     "EXCEPTION_ACCESS_VIOLATION", kRead},  // a general protection fault
    {"PageNoFileBacks", &zkqtest::ReadBeyondMappedFile, 0xC0000006, "EXCEPTION_IN_PAGE_ERROR", kRead},
    {"DivisionByZero", &zkqtest::DivideByZero, 0xC0000094, "EXCEPTION_INT_DIVIDE_BY_ZERO", nullptr},
    {"DivisionByZeroInMemory", [] { zkq_idiv_memory(1, kDivisorsZero, 1); }, 0xC0000094,
     "EXCEPTION_INT_DIVIDE_BY_ZERO", nullptr},
    {"IntMinByMinusOne", [] { zkq_idiv_register(INT_MIN, -1); }, 0xC0000095, "EXCEPTION_INT_OVERFLOW", nullptr},
    {"IntMinByMinusOneInMemory", [] { zkq_idiv_memory(INT_MIN, kDivisorsMinusOne, 1); }, 0xC0000095,
     "EXCEPTION_INT_OVERFLOW", nullptr},
    {"Hlt", &zkq_hlt, 0xC0000096, "EXCEPTION_PRIV_INSTRUCTION", reinterpret_cast<const void*>(&zkq_hlt)},
    {"Cli", &zkq_cli, 0xC0000096, "EXCEPTION_PRIV_INSTRUCTION", reinterpret_cast<const void*>(&zkq_cli)},
    {"In", &zkq_in, 0xC0000096, "EXCEPTION_PRIV_INSTRUCTION", nullptr},
    {"Ud2", &zkq_ud2, 0xC000001D, "EXCEPTION_ILLEGAL_INSTRUCTION", reinterpret_cast<const void*>(&zkq_ud2)},
    {"Int3", &zkq_int3, 0x80000003, "EXCEPTION_BREAKPOINT", zkq_int3_at},
    {"MisalignedReadWithAlignmentCheck", [] { zkq_misaligned_read(g_aligned); }, 0x80000002,
     "EXCEPTION_DATATYPE_MISALIGNMENT", nullptr},
#if !defined(ZKQ_SANITIZER_asan)
    {"StackOverflow", [] { zkqtest::Overflow(0); }, 0xC00000FD, "EXCEPTION_STACK_OVERFLOW", nullptr},
#endif
};

class FaultKindTest : public ::testing::TestWithParam<FaultRow> {};

TEST_P(FaultKindTest, CodeAndAddress) {
    const FaultRow& row = GetParam();
    const Caught caught = CatchFault(row.body);
    EXPECT_EQ(caught.code, row.code);
    EXPECT_TRUE(zkqtest::Contains(caught.record, {std::string("Exceptioncode: ") + row.codeName + "\r\n"}));
    // The address of the fault is the instruction's own, in the record and
    // in the context.
    const std::uintptr_t address = HexField(caught.record, "Exceptionadresse: ");
    EXPECT_EQ(address, HexField(caught.record, "Eip: "));
    if (row.address) {
        EXPECT_EQ(address, reinterpret_cast<std::uintptr_t>(row.address));
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, FaultKindTest, ::testing::ValuesIn(kFaults),
                         [](const ::testing::TestParamInfo<FaultRow>& info) { return std::string(info.param.name); });
#endif

}  // namespace
