#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>

#include <gtest/gtest.h>

#include "QuillmereCore/Log.h"
#include "QuillmereCore/SerialQueue.h"

namespace qm {
namespace {

TEST(SerialQueue, RunsWorkInOrderOnItsNamedThreadAndFinishesItBeforeGoing) {
    std::mutex mutex;
    std::vector<int> order;
    std::string threadName;
    {
        SerialQueue queue("render");
        for (int i = 0; i < 100; ++i) {
            queue.post([&, i] {
                std::lock_guard lock(mutex);
                order.push_back(i);
            });
        }
        queue.post([&] {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            std::lock_guard lock(mutex);
            threadName = name;
        });
    }
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(order[std::size_t(i)], i);
    }
    EXPECT_EQ(threadName, "render");
}

TEST(SerialQueue, AFailingItemIsLoggedAndTheQueueGoesOn) {
    bool ran = false;
    {
        SerialQueue queue("render");
        queue.post([] { throw std::runtime_error("no memory for a drawable"); });
        queue.post([&] { ran = true; });
    }
    EXPECT_TRUE(ran);
    const auto entries = Log::recentEntries();
    ASSERT_FALSE(entries.empty());
    EXPECT_NE(entries.back().message.find("no memory for a drawable"), std::string::npos);
}

TEST(SerialQueue, ShutdownDropsWhatIsQueuedAndSyncSaysWhetherItRan) {
    SerialQueue queue("device.link");
    int ran = 0;
    EXPECT_TRUE(queue.sync([&] { ++ran; }));
    std::promise<void> release;
    auto released = release.get_future().share();
    queue.post([released] { released.wait(); });
    queue.post([&] { ++ran; });  // still queued when the queue shuts down
    std::thread stopper([&] { queue.shutdown(); });
    release.set_value();
    stopper.join();
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(queue.sync([&] { ++ran; }));
    queue.post([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace qm
