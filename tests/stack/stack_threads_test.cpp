// Names for one call stack asked for by several threads at once, while one
// of them forks: one program and one cache for the process, the same names
// for every thread, and a program of its own for the forked child.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "core/stack_block.h"
#include "platform/symbolize.h"
#include "support/child_process.h"
#include "support/test_util.h"

namespace ap = orneh::platform;

namespace {

volatile int g_sink;

__attribute__((noipa)) void StackOfThisFunction(ap::CallStack& stack) {
    ap::CaptureStack(stack, 0);
    g_sink = 0;  // no tail call
}

bool Named(const std::string& text) { return text.find("StackOfThisFunction(") != std::string::npos; }

TEST(SymbolizerThreadsTest, ThreadsAndAForkAskAtOnce) {
    ap::symbolizetest::Reset();
    ap::CallStack stack;
    StackOfThisFunction(stack);
    const int kThreads = 4;
    zkqtest::Barrier start(kThreads);
    std::vector<std::string> texts(kThreads);
    zkqtest::ChildResult child;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            start.Wait();
            texts[t] = orneh::core::SymbolizedStackText(stack);
            if (t == 0) {
                // Frames the cache does not know: the child asks a program.
                child = zkqtest::RunInChild([] {
                    ap::CallStack own;
                    StackOfThisFunction(own);
                    const std::string text = orneh::core::SymbolizedStackText(own);
                    _exit(Named(text) && text.find("zkqtest::RunInChild(") != std::string::npos ? 0 : 1);
                });
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_TRUE(Named(texts[0])) << texts[0];
    for (int t = 1; t < kThreads; ++t) EXPECT_EQ(texts[t], texts[0]);
    EXPECT_TRUE(child.ExitedWith(0)) << child;
}

}  // namespace
