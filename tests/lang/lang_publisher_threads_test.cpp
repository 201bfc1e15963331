// The publisher is made once, however many threads ask for it first.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "OrnLanguagePublisher.h"
#include "OrnLanguageResManager.h"
#include "OrnLangIds.h"

namespace {

TEST(LanguagePublisherThreads, ConcurrentFirstCallsShareOneInstance) {
    constexpr int kThreads = 8;
    std::vector<OrnLanguagePublisher*> seen(kThreads, nullptr);
    std::vector<int> loaded(kThreads, 0);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            while (!go.load()) std::this_thread::yield();
            OrnLanguagePublisher* publisher = OrnLanguagePublisher::Instance();
            seen[i] = publisher;
            // Each thread installs the module for itself and loads from it.
            OrnLanguageResManager manager(publisher->GetLangDependentResource());
            CString text;
            loaded[i] = text.LoadString(IDS_EH_DEFAULT_TEXT) && text.GetLength() > 0;
        });
    }
    go.store(true);
    for (auto& thread : threads) thread.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_NE(seen[i], nullptr);
        EXPECT_EQ(seen[i], seen[0]);
        EXPECT_TRUE(loaded[i]) << "thread " << i;
    }
    EXPECT_EQ(OrnLanguagePublisher::Instance(), seen[0]);
}

}  // namespace
