#include "exception_dialog/Worker.h"

#include "base/Views.h"
#include "exception_dialog/CallStack.h"
#include "exception_dialog/SmartException.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace orb;
using ::testing::StartsWith;

namespace
{

std::atomic<int> gFailLine{0};

[[noreturn]] __attribute__((noinline)) void WorkFails()
{
    gFailLine = __LINE__ + 1;
    throw EInOutError(2, "File not found");
}

std::string MessageOf(const std::exception_ptr& E)
{
    if (!E)
        return "none";
    std::string className, message;
    DescribeException(E, className, message);
    return className + ": " + message;
}

struct WorkerFixture : ::testing::Test
{
    TQueuedMainThread MainThread;
    void SetUp() override
    {
        ASSERT_TRUE(ThrowCaptureActive()) << "throws do not pass through the capture hook";
        InstallViews({.MainThread = &MainThread});
        // A report uses the saved stack up: nothing is left over from another test.
        SmartExceptionReport().MakeException("TWorkerTest", Exception("clear"), false, "");
        ASSERT_EQ(SmartExceptionReport().SavedCallStack(), "");
    }
    void TearDown() override { ResetViews(); }

    /// Serves hand-overs until Worker has ended.
    void Finish(TWorker& Worker, std::atomic<bool>& Ended)
    {
        MainThread.ProcessUntil([&] { return Ended.load(); });
        Worker.WaitFor();
    }
};

} // namespace

TEST_F(WorkerFixture, RunsWorkThenHandsOverOnTheUserInterfaceThread)
{
    std::vector<std::string> order;
    const auto uiThread = std::this_thread::get_id();
    std::thread::id workThread, handOverThread;
    std::atomic<bool> ended{false};
    TWorker worker;
    worker.Start(
        [&] {
            workThread = std::this_thread::get_id();
            order.push_back("work");
        },
        [&] {
            handOverThread = std::this_thread::get_id();
            order.push_back("hand-over");
            ended = true;
        });
    Finish(worker, ended);
    EXPECT_EQ(order, (std::vector<std::string>{"work", "hand-over"}));
    EXPECT_NE(workThread, uiThread);
    EXPECT_EQ(handOverThread, uiThread);
    EXPECT_FALSE(worker.RaisedException);
}

TEST_F(WorkerFixture, KeepsTheFailureWithTheStackItWasThrownWith)
{
    std::atomic<bool> ended{false};
    TWorker worker;
    worker.Start([] { WorkFails(); }, [&] { ended = true; });
    Finish(worker, ended);
    ASSERT_TRUE(worker.RaisedException);
    EXPECT_EQ(MessageOf(worker.RaisedException), "EInOutError: File not found");
    EXPECT_THAT(SmartExceptionReport().SavedCallStack(),
                StartsWith("WorkerTest.cpp => (anonymous namespace)::WorkFails() => " + std::to_string(gFailLine)));
}

TEST_F(WorkerFixture, WhichFailureIsKept)
{
    struct TCase
    {
        const char* Name;
        bool WorkThrows, HandOverThrows, ThrowsNonException;
        std::string Expected;
    };
    const std::vector<TCase> cases{
        {"nothing fails", false, false, false, ""},
        {"the work fails", true, false, false, "EInOutError: File not found"},
        {"only the hand-over fails", false, true, false, "Exception: hand-over failed"},
        {"both fail: the work's failure wins", true, true, false, "EInOutError: File not found"},
        {"an object that is no exception", false, false, true, "Exception: External exception"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        std::atomic<bool> ended{false};
        TWorker worker;
        worker.Start(
            [&] {
                if (c.ThrowsNonException)
                    throw 7;
                if (c.WorkThrows)
                    WorkFails();
            },
            [&] {
                ended = true;
                if (c.HandOverThrows)
                    throw Exception("hand-over failed");
            });
        Finish(worker, ended);
        EXPECT_EQ(MessageOf(worker.RaisedException), c.Expected.empty() ? "none" : c.Expected);
    }
}

TEST_F(WorkerFixture, WithoutAUserInterfaceThreadTheMissingViewIsTheFailure)
{
    ResetViews();
    TWorker worker;
    worker.Start([] {}, [] { FAIL() << "the hand-over ran without a user-interface thread"; });
    worker.WaitFor();
    EXPECT_TRUE(worker.RaisedException);
}

TEST_F(WorkerFixture, WithoutHandOverNeedsNoUserInterfaceThreadAndDestructorWaits)
{
    ResetViews();
    std::atomic<bool> done{false};
    {
        TWorker worker;
        worker.Start([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            done = true;
        });
    }
    EXPECT_TRUE(done) << "the destructor returned before the work ended";
}

TEST_F(WorkerFixture, TerminateIsSeenByTheWorkAndStartAgainRunsAfresh)
{
    TWorker worker;
    std::atomic<int> rounds{0};
    worker.Start([&] {
        while (!worker.Terminated())
            std::this_thread::yield();
        throw Exception("stopped");
    });
    worker.Terminate();
    worker.WaitFor();
    ASSERT_TRUE(worker.RaisedException);
    worker.Start([&] { ++rounds; });
    worker.WaitFor();
    EXPECT_EQ(rounds, 1);
    EXPECT_FALSE(worker.RaisedException) << "a new start forgets the last failure";
}

TEST_F(WorkerFixture, DetachedWorkerHandsOverItsFailureAndReleasesWhatItHolds)
{
    struct TCase
    {
        const char* Name;
        bool Fails, Wanted, Views;
        bool ExpectHandOver;
    };
    const std::vector<TCase> cases{
        {"success", false, true, true, true},
        {"failure", true, true, true, true},
        {"nobody left to take it", true, false, true, false},
        {"no user-interface thread", false, true, false, false},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        if (!c.Views)
            ResetViews();
        auto held = std::make_shared<int>(1);
        std::atomic<bool> handedOver{false};
        std::exception_ptr failure;
        StartDetachedWorker(
            [held, fails = c.Fails] {
                if (fails)
                    WorkFails();
            },
            [held, &handedOver, &failure](std::exception_ptr E) {
                failure = std::move(E);
                handedOver = true;
            },
            [held, wanted = c.Wanted] { return wanted; });
        if (c.ExpectHandOver)
            MainThread.ProcessUntil([&] { return handedOver.load(); });
        while (RunningDetachedWorkers() > 0)
            std::this_thread::yield();
        EXPECT_EQ(handedOver.load(), c.ExpectHandOver);
        EXPECT_EQ(held.use_count(), 1) << "the worker still holds what its functions captured";
        if (c.ExpectHandOver)
        {
            EXPECT_EQ(MessageOf(failure), c.Fails ? "EInOutError: File not found" : "none");
            if (c.Fails)
            {
                EXPECT_THAT(
                    SmartExceptionReport().SavedCallStack(),
                    StartsWith("WorkerTest.cpp => (anonymous namespace)::WorkFails() => " + std::to_string(gFailLine)));
            }
        }
        InstallViews({.MainThread = &MainThread});
    }
}
