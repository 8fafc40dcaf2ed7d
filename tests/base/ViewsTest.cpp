#include "base/Views.h"

#include "base/Exceptions.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace orb
{
namespace
{

TEST(Views, AskingForAViewThatIsNotInstalledRaises)
{
    ResetViews();
    EXPECT_THROW(MainThread(), Exception);
    EXPECT_THROW(Dialogs(), Exception);
    EXPECT_THROW(ModalWait(), Exception);
    EXPECT_THROW(UpdateProgress(), Exception);
}

TEST(Views, InstalledViewsAreFoundUntilReset)
{
    TQueuedMainThread mainThread;
    InstallViews({.MainThread = &mainThread});
    EXPECT_EQ(&MainThread(), &mainThread);
    ResetViews();
    EXPECT_THROW(MainThread(), Exception);
}

TEST(QueuedMainThread, RunsWorkOfOtherThreadsOnTheOwningThreadInOrder)
{
    TQueuedMainThread mainThread;
    const auto owner = std::this_thread::get_id();
    std::vector<int> order;
    bool sameThread = true;
    std::atomic<bool> finished{false};
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i)
            mainThread.Synchronize([&, i] {
                sameThread = sameThread && std::this_thread::get_id() == owner;
                order.push_back(i);
            });
        finished = true;
        mainThread.Wake();
    });
    mainThread.ProcessUntil([&] { return finished.load(); });
    worker.join();
    EXPECT_TRUE(sameThread);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
}

TEST(QueuedMainThread, HandsAnExceptionOfTheWorkBackToTheCaller)
{
    TQueuedMainThread mainThread;
    std::atomic<bool> raised{false};
    std::thread worker([&] {
        try
        {
            mainThread.Synchronize([] { throw std::runtime_error("boom"); });
        }
        catch (const std::runtime_error&)
        {
            raised = true;
        }
        mainThread.Wake();
    });
    mainThread.ProcessUntil([&] { return raised.load(); });
    worker.join();
    EXPECT_TRUE(raised);
}

TEST(QueuedMainThread, RunsWorkAtOnceOnTheOwningThread)
{
    TQueuedMainThread mainThread;
    bool ran = false;
    mainThread.Synchronize([&] { ran = true; });
    EXPECT_TRUE(ran);
}

} // namespace
} // namespace orb
