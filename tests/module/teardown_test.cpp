// The end of the process: the module's teardown deletes every exception
// the threads left, but frees nothing while another thread still runs (it
// may use what it holds); a process that exits while other threads are busy
// with the library does not crash.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "OrnEh.h"
#include "OrnEhBasis.h"
#include "support/child_process.h"
#include "support/test_util.h"

namespace {

int g_pipe = -1;

// Reports its destruction through a pipe to the parent process.
class Reporting : public OrnEhBasis {
public:
    explicit Reporting(int push)
        : OrnEhBasis("t.cpp", "T", "M", "held", 1, 0, 0, nullptr, 0, 0, push) {}
    ~Reporting() override {
        CheckBeforeDelete();
        (void)!::write(g_pipe, "x", 1);
    }
};

int CountBytes(int fd) {
    int count = 0;
    char buffer[256];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) count += static_cast<int>(n);
    return count;
}

// Threads that made and released exceptions and hold two more: when they
// still run at exit, using what they hold, nothing of it is freed; when they
// have ended, the teardown deletes what they left.
class HeldChainsTest : public ::testing::TestWithParam<bool> {};

TEST_P(HeldChainsTest, ExitWithHeldChains) {
    const bool parked = GetParam();
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int kThreads = 3;
    zkqtest::ChildResult result = zkqtest::RunInChild([&] {
        ::close(fds[0]);
        g_pipe = fds[1];
        zkqtest::Barrier made(kThreads + 1);
        std::vector<std::thread> threads;
        for (int i = 0; i < kThreads; ++i) {
            threads.emplace_back([&] {
                new Reporting(1);
                new Reporting(1);
                OrnEhBasis::Release();  // one deleted now, the newest waits
                new Reporting(1);       // deletes the waiting one
                OrnEhBasis* held = new Reporting(1);
                made.Wait();
                // Still using what it holds while the process ends.
                while (parked) {
                    if (held->GetPrev()->GetErrorNo() != 1 || OrnEhExistMARLOException() > 1) ::_exit(3);
                }
            });
        }
        made.Wait();
        for (std::thread& t : threads) parked ? t.detach() : t.join();
        std::exit(0);
    });
    ::close(fds[1]);
    const int destroyed = CountBytes(fds[0]);
    ::close(fds[0]);
    EXPECT_TRUE(result.ExitedWith(0)) << result;
    EXPECT_EQ(destroyed, (parked ? 2 : 4) * kThreads);
}

INSTANTIATE_TEST_SUITE_P(Threads, HeldChainsTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "StillRunning" : "Ended");
                         });

}  // namespace
