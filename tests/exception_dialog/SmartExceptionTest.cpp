#include "exception_dialog/SmartException.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>
#include <vector>

using namespace orb;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace
{

// Written by every throwing thread, so atomic.
std::atomic<int> gConvertLine{0};
std::atomic<int> gWorkerLine{0};
std::atomic<int> gMainLine{0};

[[noreturn]] __attribute__((noinline)) void ThrowConvert()
{
    gConvertLine = __LINE__ + 1;
    throw EConvertError("'abc' is not a valid integer value");
}

[[noreturn]] __attribute__((noinline)) void WorkerFails()
{
    gWorkerLine = __LINE__ + 1;
    throw EInOutError(2, "File not found");
}

[[noreturn]] __attribute__((noinline)) void MainRaises(std::exception_ptr Parent)
{
    ESmartException e("TForm_Progress", Parent);
    e.Code = 404;
    e.Details = "URL: http://127.0.0.1/index.xml\nsecond line\rthird";
    gMainLine = __LINE__ + 1;
    throw e;
}

/// The lines of a text split at CR LF.
std::vector<std::string> Lines(const std::string& Text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = Text.find("\r\n", start)) != std::string::npos; start = at + 2)
        lines.push_back(Text.substr(start, at - start));
    lines.push_back(Text.substr(start));
    return lines;
}

/// The value lines of a report: what follows each header up to the next header.
std::string Section(const std::string& Report, const std::string& Header, const std::string& Next)
{
    auto begin = Report.find(Header + "\r\n");
    auto end = Report.find("\r\n" + Next + "\r\n", begin);
    if (begin == std::string::npos || end == std::string::npos)
        return "<missing>";
    begin += Header.size() + 2;
    return Report.substr(begin, end - begin);
}

std::string Location(const std::string& Function, int Line)
{
    return "SmartExceptionTest.cpp => " + Function + " => " + std::to_string(Line);
}

struct SmartExceptionFixture : ::testing::Test
{
    TSmartExceptionReport Report;
    void SetUp() override
    {
        ASSERT_TRUE(ThrowCaptureActive()) << "throws do not pass through the capture hook";
        Report.ApplicationInfo = "Orb_Loader 1.0.0.1";
    }
};

} // namespace

TEST(ESmartExceptionTest, TakesTheParentsMessageOrMarksItselfInternal)
{
    ESmartException internal("TForm_Orb_Loader");
    EXPECT_EQ(internal.Message, "INTERNAL EXCEPTION");
    EXPECT_EQ(internal.Code, 0);
    EXPECT_EQ(internal.Details, "");
    EXPECT_EQ(internal.ClassName(), "ESmartException");
    ESmartException wrapped("TForm_Progress", std::make_exception_ptr(EOSError(5, "Access denied")));
    EXPECT_EQ(wrapped.Message, "Access denied");
    EXPECT_EQ(ExceptionClassName(wrapped), "ESmartException");
}

using SmartException = SmartExceptionFixture;

TEST_F(SmartException, ReportsAPlainExceptionWithItsSenderAndRaiseLocation)
{
    std::string report;
    try
    {
        ThrowConvert();
    }
    catch (const std::exception& e)
    {
        report = Report.MakeException("TButton", e, true, "");
    }
    auto lines = Lines(report);
    ASSERT_GE(lines.size(), 16u) << report;
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 8),
              (std::vector<std::string>{"EXCEPTION", "EConvertError in TButton", "CODE", "", "MESSAGE",
                                        "'abc' is not a valid integer value", "DETAILS", ""}));
    EXPECT_EQ(lines[8], "CALL STACK");
    EXPECT_THAT(lines[9], StartsWith("SmartExceptionTest.cpp => "));
    EXPECT_THAT(lines[9], HasSubstr("ThrowConvert"));
    EXPECT_THAT(lines[9], testing::EndsWith(" => " + std::to_string(gConvertLine)));
    EXPECT_THAT(Section(report, "CALL STACK", "WINDOWS VERSION"), HasSubstr("ReportsAPlainException"));
    EXPECT_EQ(Section(report, "WINDOWS VERSION", "APPLICATION INFO"), WindowsVersionText());
    EXPECT_FALSE(WindowsVersionText().empty());
    EXPECT_EQ(Section(report, "APPLICATION INFO", "RAISE TIME"), "Orb_Loader 1.0.0.1");
    EXPECT_TRUE(std::regex_search(report, std::regex("RAISE TIME\r\n\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\r\n$")))
        << report;
    // The dialog's views: the message, and one memo entry per emitted text; Copy gives exactly the report.
    EXPECT_EQ(Report.LabelInfo, "'abc' is not a valid integer value");
    EXPECT_EQ(Report.Memo.front(), "EXCEPTION");
    EXPECT_EQ(Report.MemoText(), report);
}

TEST_F(SmartException, ReportsAWorkersFailureWithBothStacks)
{
    std::exception_ptr handedOver;
    std::thread worker([&] {
        try
        {
            WorkerFails();
        }
        catch (const std::exception& e)
        {
            SaveExceptionCallStack(e);
            Report.SaveExceptionCallStack(e);
            handedOver = std::current_exception();
        }
    });
    worker.join();
    ASSERT_TRUE(handedOver);
    EXPECT_THAT(Report.SavedCallStack(), StartsWith(Location("(anonymous namespace)::WorkerFails()", gWorkerLine)));

    std::string report;
    try
    {
        MainRaises(handedOver);
    }
    catch (const std::exception& e)
    {
        report = Report.MakeException("TForm_Orb_Loader", e, false, "additional text");
    }
    EXPECT_EQ(Section(report, "EXCEPTION", "CODE"), "EInOutError in TForm_Progress\r\nFile not found");
    EXPECT_EQ(Section(report, "CODE", "MESSAGE"), "404");
    EXPECT_EQ(Section(report, "MESSAGE", "DETAILS"), "File not found");
    EXPECT_EQ(Section(report, "DETAILS", "CALL STACK"), "URL: http://127.0.0.1/index.xml\r\nsecond line\r\nthird");
    // The worker's stack, "..." after its last line, then the main thread's stack from the next line on.
    auto stack = Lines(Section(report, "CALL STACK", "WINDOWS VERSION"));
    auto joint = std::find_if(stack.begin(), stack.end(), [](const std::string& l) { return l.ends_with("..."); });
    ASSERT_NE(joint, stack.end()) << report;
    EXPECT_EQ(stack.front(), Location("(anonymous namespace)::WorkerFails()", gWorkerLine));
    ASSERT_NE(joint + 1, stack.end());
    EXPECT_EQ(*(joint + 1),
              Location("(anonymous namespace)::MainRaises(std::__exception_ptr::exception_ptr)", gMainLine));
    EXPECT_EQ(Report.LastExceptionCallStack(), Section(report, "CALL STACK", "WINDOWS VERSION"));
    EXPECT_THAT(report, testing::EndsWith("\r\nadditional text\r\n"));
    EXPECT_TRUE(Report.Memo.empty()); // the report alone does not touch the dialog

    // The saved stack is used once.
    EXPECT_EQ(Report.SavedCallStack(), "");
    try
    {
        MainRaises(handedOver);
    }
    catch (const std::exception& e)
    {
        report = Report.GetExceptionDetails("TForm_Orb_Loader", e);
    }
    EXPECT_THAT(report, Not(HasSubstr("WorkerFails")));
}

TEST_F(SmartException, ReportsAnInternalSmartExceptionAndForeignObjects)
{
    Report.ShowWindowsVersion = false;
    auto report =
        Report.MakeException("TForm_Orb_Loader", std::make_exception_ptr(ESmartException("TForm_Updater")), false, "");
    EXPECT_EQ(Section(report, "EXCEPTION", "CODE"), "ESmartException in TForm_Updater");
    EXPECT_EQ(Section(report, "MESSAGE", "DETAILS"), "INTERNAL EXCEPTION");
    EXPECT_EQ(report.find("WINDOWS VERSION"), std::string::npos);

    report = Report.MakeException("", std::make_exception_ptr(42), false, "");
    EXPECT_EQ(Section(report, "EXCEPTION", "CODE"), "Exception");
    report = Report.MakeException("TButton", std::make_exception_ptr(std::out_of_range("index")), false, "");
    EXPECT_EQ(Section(report, "EXCEPTION", "CODE"), "ERangeError in TButton");
}

TEST_F(SmartException, CapturesThrowsInsideTheStandardLibrary)
{
    std::vector<int> empty;
    try
    {
        (void)empty.at(3);
    }
    catch (const std::out_of_range& e)
    {
        auto text = CallStackText(ThrownCallStackOf(e));
        EXPECT_THAT(text, HasSubstr("CapturesThrowsInsideTheStandardLibrary")) << text;
    }
}

TEST_F(SmartException, EachThreadKeepsTheStackOfItsOwnThrows)
{
    constexpr int kThreads = 4;
    std::vector<std::string> texts(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&texts, t] {
            for (int i = 0; i < 50; ++i)
            {
                try
                {
                    if (t % 2)
                        ThrowConvert();
                    WorkerFails();
                }
                catch (const std::exception& e)
                {
                    if (i == 49)
                        texts[t] = CallStackText(ThrownCallStackOf(e));
                }
            }
        });
    for (auto& th : threads)
        th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_THAT(texts[t], HasSubstr(t % 2 ? "ThrowConvert" : "WorkerFails")) << t;
}

TEST_F(SmartException, FindsTheStackOfAnOlderExceptionStillInHand)
{
    try
    {
        WorkerFails();
    }
    catch (const std::exception& outer)
    {
        try
        {
            ThrowConvert();
        }
        catch (const std::exception&)
        {}
        EXPECT_THAT(CallStackText(ThrownCallStackOf(outer)),
                    StartsWith(Location("(anonymous namespace)::WorkerFails()", gWorkerLine)));
        EXPECT_THAT(CallStackText(ThrownCallStack()), HasSubstr("ThrowConvert"));
    }
}

TEST_F(SmartException, RethrowingAHandedOverExceptionRecordsTheRaisingThreadsStack)
{
    std::exception_ptr handedOver;
    std::thread worker([&] {
        try
        {
            WorkerFails();
        }
        catch (const std::exception& e)
        {
            Report.SaveExceptionCallStack(e);
            handedOver = std::current_exception();
        }
    });
    worker.join();
    std::string report;
    try
    {
        RethrowException(handedOver);
    }
    catch (const std::exception& e)
    {
        report = Report.MakeException("TForm_Updater", e, false, "");
    }
    EXPECT_EQ(Section(report, "EXCEPTION", "CODE"), "EInOutError in TForm_Updater");
    auto stack = Lines(Section(report, "CALL STACK", "WINDOWS VERSION"));
    auto joint = std::find_if(stack.begin(), stack.end(), [](const std::string& l) { return l.ends_with("..."); });
    ASSERT_NE(joint, stack.end()) << report;
    ASSERT_NE(joint + 1, stack.end()) << report;
    EXPECT_THAT(*(joint + 1), HasSubstr("RethrowingAHandedOverException")) << report;
}

TEST(SmartExceptionView, SwitchesViewsAndTranslatesTheButtons)
{
    TSmartExceptionView view;
    view.ToggleDetails();
    EXPECT_TRUE(view.DetailsVisible);
    EXPECT_EQ(view.DetailsCaption, "Simple");
    view.GetString = [](const std::string& Id, const std::string& Default) {
        return Id == "Details" ? "Mehr" : Id == "Simple" ? "Weniger" : Id == "Copy" ? "Kopieren" : Default;
    };
    view.CreateButtons();
    view.ToggleDetails();
    EXPECT_FALSE(view.DetailsVisible);
    EXPECT_EQ(view.DetailsCaption, "Mehr");
    view.ToggleDetails();
    EXPECT_EQ(view.DetailsCaption, "Weniger");
    EXPECT_EQ(view.CopyCaption, "Kopieren");
    EXPECT_EQ(view.OkCaption, "OK");
}

TEST(SmartExceptionView, ComputesSizesAndPlaces)
{
    struct Case
    {
        int Image, LabelW, LabelH, Panel;
        TDialogSize Expected;
    } simple[] = {
        {57, 400, 30, 41, {477, 130}}, // the minimum height applies
        {57, 100, 80, 41, {360, 161}}, // the minimum width applies
    };
    for (const auto& c : simple)
        EXPECT_EQ(TSmartExceptionView::SimpleSize(c.Image, c.LabelW, c.LabelH, c.Panel), c.Expected);
    EXPECT_EQ(TSmartExceptionView::DetailsSize(477, 1920, 1040), (TDialogSize{960, 346}));
    EXPECT_EQ(TSmartExceptionView::DetailsSize(1200, 1920, 1040), (TDialogSize{1200, 346}));
    EXPECT_EQ(TSmartExceptionView::Centre(0, 1921, 477), 960 - 238);
    // Details is the rightmost button, OK the leftmost.
    EXPECT_EQ(TSmartExceptionView::ButtonLeft(477, 75, 1), 392);
    EXPECT_EQ(TSmartExceptionView::ButtonLeft(477, 75, 3), 222);
}
