// The publisher is made once, however many threads ask for it first, and
// each thread loads from its module at the same time as the others.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "OrnLangIds.h"
#include "OrnLanguagePublisher.h"
#include "OrnLanguageResManager.h"

TEST(LanguagePublisherThreads, SharedInstance) {
    std::atomic<bool> go{false};
    std::vector<OrnLanguagePublisher*> seen(8, nullptr);  // set once the thread loaded a text
    std::vector<std::thread> threads;
    for (OrnLanguagePublisher*& publisher : seen) {
        threads.emplace_back([&go, &publisher] {
            while (!go.load()) std::this_thread::yield();
            OrnLanguagePublisher* instance = OrnLanguagePublisher::Instance();
            OrnLanguageResManager manager(instance->GetLangDependentResource());
            CString text;
            if (text.LoadString(IDS_EH_DEFAULT_TEXT) && text.GetLength() > 0) publisher = instance;
        });
    }
    go.store(true);
    for (auto& thread : threads) thread.join();
    for (OrnLanguagePublisher* publisher : seen) EXPECT_EQ(OrnLanguagePublisher::Instance(), publisher);
}
