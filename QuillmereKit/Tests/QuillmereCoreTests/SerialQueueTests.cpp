#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
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
    std::promise<void> gate;
    queue.post([opened = gate.get_future().share()] { opened.wait(); });
    queue.post([&] { queue.shutdown(); });  // from its own thread: stops without joining
    queue.post([&] { ++ran; });             // still queued then: dropped
    gate.set_value();
    queue.shutdown();
    EXPECT_EQ(ran, 1);
    EXPECT_FALSE(queue.sync([&] { ++ran; }));
    queue.post([&] { ++ran; });
    EXPECT_EQ(ran, 1);
}

}  // namespace
}  // namespace qm
