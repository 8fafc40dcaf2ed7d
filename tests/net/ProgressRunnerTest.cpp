#include "net/ProgressRunner.h"

#include "exception_dialog/SmartException.h"
#include "support/ScriptedViews.h"
#include "support/Servers.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace orb
{
namespace
{

using nlohmann::json;

/// The message of the exception a pointer holds.
std::string MessageOf(const std::exception_ptr& E)
{
    try
    {
        std::rethrow_exception(E);
    }
    catch (const std::exception& error)
    {
        return error.what();
    }
    catch (...)
    {
        return "?";
    }
}

class ProgressRunnerTest : public ::testing::Test
{
protected:
    test::TScriptedViews Views;
    test::TFixtureServer Server;
    TProgressRunner Runner;
};

TEST_F(ProgressRunnerTest, ASuccessfulRequestShowsAndClosesTheWindowAndKeepsTheBody)
{
    Server.Answer("/cfg", json{{"body", "a=1\r\nb=2"}});
    THTTPDataProvider provider;
    provider.URL.SetURL(Server.URL("/cfg"));
    Runner.HTTPRequest(provider);
    EXPECT_EQ(Runner.HTTPResponse, "a=1\r\nb=2");
    EXPECT_EQ(Views.ModalWait.Shown, std::vector{TWaitWindow::wwProgress});
    EXPECT_EQ(Views.ModalWait.Closed, std::vector{TWaitWindow::wwProgress});
}

TEST_F(ProgressRunnerTest, AFailedRequestBecomesTheServerConnectionErrorWithTheAddress)
{
    THTTPDataProvider provider;
    provider.URL.SetURL(Server.URL("/index.xml"));
    const std::string address = "http://127.0.0.1:" + std::to_string(Server.Port()) + "/index.xml";
    try
    {
        Runner.HTTPRequest(provider);
        FAIL() << "no error";
    }
    catch (const ESmartException& error)
    {
        EXPECT_EQ(error.Message, LanguageText("ServerConnectionError"));
        EXPECT_EQ(error.Details, "URL: " + address);
        EXPECT_EQ(error.Sender, "TForm_Progress");
        EXPECT_EQ(MessageOf(error.ParentException), "URL: " + address + " not found");
    }
    EXPECT_EQ(Views.ModalWait.Closed.size(), 1u);
}

TEST_F(ProgressRunnerTest, AnXMLRequestParsesTheAnswerAndAnEmptyAnswerGivesNoNode)
{
    Server.Answer("/index.xml", json{{"body", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
                                              "<!-- c --><index version=\"3\"><dir name=\"a\"/></index>"}});
    Server.Answer("/empty.xml", json{{"body", ""}});
    TXMLDataProvider provider;
    provider.HTTP.URL.SetURL(Server.URL("/index.xml"));
    Runner.XMLRequest(provider);
    ASSERT_TRUE(provider.XMLData());
    EXPECT_EQ(provider.XMLData()->NodeName(), "index");
    EXPECT_EQ(provider.XMLData()->Attributes("version"), "3");
    EXPECT_EQ(provider.Encoding(), "windows-1251");

    provider.HTTP.URL.SetURL(Server.URL("/empty.xml"));
    Runner.XMLRequest(provider);
    EXPECT_FALSE(provider.XMLData());
}

TEST_F(ProgressRunnerTest, AnXMLRequestThatFailsNamesTheProvidersAddress)
{
    Server.Answer("/bad.xml", json{{"body", "<index><unclosed></index>"}});
    TXMLDataProvider provider;
    provider.HTTP.URL.SetURL(Server.URL("/bad.xml"));
    try
    {
        Runner.XMLRequest(provider);
        FAIL() << "no error";
    }
    catch (const ESmartException& error)
    {
        EXPECT_EQ(error.Details, "URL: " + provider.HTTP.URL.URL_String());
        EXPECT_TRUE(error.ParentException);
    }
    EXPECT_FALSE(provider.XMLData());
}

TEST_F(ProgressRunnerTest, AnIndexPastTheLimitReachesTheUserAsAFailedRequest)
{
    // A small gzip answer that would expand to 1 GB.
    Server.Answer("/index.xml", json{{"size", 1024 * 1024 * 1024}, {"fill", "<a/>"}, {"encode", "gzip"}});
    TXMLDataProvider provider;
    provider.HTTP.URL.SetURL(Server.URL("/index.xml"));
    const std::string address = provider.HTTP.URL.URL_String();
    try
    {
        Runner.XMLRequest(provider);
        FAIL() << "no error";
    }
    catch (const ESmartException& error)
    {
        EXPECT_EQ(error.Message, LanguageText("ServerConnectionError"));
        EXPECT_EQ(error.Details, "URL: " + address);
        EXPECT_EQ(MessageOf(error.ParentException),
                  "The server's answer from " + address + " is larger than 64 MB; the request was stopped.");
    }
    EXPECT_FALSE(provider.XMLData());
}

TEST_F(ProgressRunnerTest, AttemptsAreRepeatedSilentlyAndOnlyTheLastFailureCounts)
{
    TXMLDataProvider provider;
    provider.AttemptsForRequest = 3;
    provider.HTTP.URL.SetURL(Server.URL("/flaky.xml"));
    Server.Answer("/flaky.xml", std::vector<json>{{{"status", 502}}, {{"status", 504}}, {{"body", "<ok/>"}}});
    Runner.XMLRequest(provider);
    ASSERT_TRUE(provider.XMLData());
    EXPECT_EQ(provider.XMLData()->NodeName(), "ok");

    provider.HTTP.URL.SetURL(Server.URL("/down.xml"));
    Server.Answer("/down.xml",
                  std::vector<json>{{{"status", 502}}, {{"status", 504}}, {{"status", 403}}, {{"body", "<late/>"}}});
    try
    {
        Runner.XMLRequest(provider);
        FAIL() << "no error";
    }
    catch (const ESmartException& error)
    {
        EXPECT_EQ(MessageOf(error.ParentException), "HTTP/1.1 403 Forbidden");
    }
}

class TRestCall : public IRestConnection
{
public:
    std::function<void()> Action;
    void DoRequest() override { Action(); }
};

TEST_F(ProgressRunnerTest, ARestFailureOfTheServiceIsShownAndOthersAreLeftToTheCaller)
{
    TRestCall call;
    call.Action = [] { throw EMarenApi("Wrong verification code", 400); };
    EXPECT_NO_THROW(Runner.RestRequest(call));
    ASSERT_EQ(Views.Dialogs.Dialogs.size(), 1u);
    EXPECT_EQ(Views.Dialogs.Dialogs[0].Caption, LanguageText("Error"));
    EXPECT_EQ(Views.Dialogs.Dialogs[0].Text, "Wrong verification code");
    EXPECT_EQ(Views.Dialogs.Dialogs[0].Icon, TMsgDlgType::mtError);
    EXPECT_EQ(Views.Dialogs.Dialogs[0].ButtonCaptions, std::vector{LanguageText("mbOk")});

    call.Action = [] { throw EConnectionClosed("reset"); };
    EXPECT_NO_THROW(Runner.RestRequest(call));
    EXPECT_EQ(Views.Dialogs.Dialogs.size(), 1u);
    EXPECT_EQ(Views.ModalWait.Closed.size(), 2u);
}

TEST_F(ProgressRunnerTest, CancelStartsTheLauncherAgainAndEndsThisProcess)
{
    test::TempDir dir;
    const auto marker = dir / "restarted";
    const auto script = dir / "launcher.sh";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\ntouch '" << marker.string() << "'\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    Runner.RestartPath = script.string();
    std::vector<int> exitCodes;
    Runner.EndProcess = [&](int Code) { exitCodes.push_back(Code); };

    Server.Answer("/slow", json{{"body", "late"}, {"delay", 1}});
    THTTPDataProvider provider;
    provider.URL.SetURL(Server.URL("/slow"));
    Views.ModalWait.OnShow = [](TWaitWindow, const std::function<void()>& Cancel) { Cancel(); };
    Runner.HTTPRequest(provider);
    EXPECT_EQ(exitCodes, std::vector{0});
    for (int i = 0; i < 200 && !std::filesystem::exists(marker); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(std::filesystem::exists(marker));
}

TEST_F(ProgressRunnerTest, ACancelThatCannotRestartIsReportedAndTheProcessGoesOn)
{
    Runner.RestartPath = "/nonexistent/orb-loader";
    bool ended = false;
    Runner.EndProcess = [&](int) { ended = true; };
    Server.Answer("/ok", json{{"body", "x"}});
    THTTPDataProvider provider;
    provider.URL.SetURL(Server.URL("/ok"));
    Views.ModalWait.OnShow = [](TWaitWindow, const std::function<void()>& Cancel) { Cancel(); };
    Runner.HTTPRequest(provider);
    EXPECT_FALSE(ended);
    ASSERT_EQ(Views.Dialogs.Exceptions.size(), 1u);
    EXPECT_EQ(Views.Dialogs.Exceptions[0].first, "TForm_Progress");
    EXPECT_EQ(Runner.HTTPResponse, "x");
}

// ----------------------------------------------------------------------------------------------------------------

class XMLDataProviderTest : public ::testing::Test
{
protected:
    test::TFixtureServer Server;
};

TEST_F(XMLDataProviderTest, TheParkedWorkerRunsAHandedOverRequest)
{
    Server.Answer("/a.xml", json{{"body", "<answer n=\"1\"/>"}});
    Server.Answer("/b.xml", json{{"status", 404}});
    TXMLDataProvider provider;
    EXPECT_TRUE(provider.IsSuspended);
    provider.HTTP.URL.SetURL(Server.URL("/a.xml"));
    provider.RequestXMLData();
    ASSERT_TRUE(provider.SuspendEvent.WaitFor(30000));
    EXPECT_FALSE(provider.RaisedException);
    ASSERT_TRUE(provider.XMLData());
    EXPECT_EQ(provider.XMLData()->Attributes("n"), "1");

    provider.HTTP.URL.SetURL(Server.URL("/b.xml"));
    provider.RequestXMLData();
    ASSERT_TRUE(provider.SuspendEvent.WaitFor(30000));
    ASSERT_TRUE(provider.RaisedException);
    EXPECT_EQ(MessageOf(provider.RaisedException), "URL: " + provider.HTTP.URL.URL_String() + " not found");
}

TEST_F(XMLDataProviderTest, DestructionOfAParkedProviderRunsNoRequest)
{
    Server.Answer("/a.xml", json{{"body", "<a/>"}});
    {
        TXMLDataProvider provider;
        provider.HTTP.URL.SetURL(Server.URL("/a.xml"));
    }
    EXPECT_TRUE(Server.Requests().empty());
}

TEST_F(XMLDataProviderTest, DestructionDuringAStalledRequestDoesNotHang)
{
    Server.Answer("/stall.xml", json{{"body", std::string(1000, ' ')}, {"stall_after", 10}});
    auto provider = std::make_unique<TXMLDataProvider>();
    provider->HTTP.URL.SetURL(Server.URL("/stall.xml"));
    provider->RequestXMLData();
    for (int i = 0; i < 500 && Server.Requests().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    provider.reset();
    SUCCEED();
}

TEST_F(XMLDataProviderTest, AnAsynchronousProviderFreesItselfAfterItsRequest)
{
    struct TWatched : TXMLDataProvider
    {
        std::atomic<bool>* Freed;
        explicit TWatched(std::atomic<bool>* F) : Freed(F) {}
        ~TWatched() override { *Freed = true; }
    };
    Server.Answer("/a.xml", json{{"body", "<a/>"}});
    std::atomic<bool> freed{false};
    auto* provider = new TWatched(&freed);
    provider->SetIsAsynchronous(true);
    provider->HTTP.URL.SetURL(Server.URL("/a.xml"));
    provider->RequestXMLData();
    for (int i = 0; i < 3000 && !freed; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(freed);
}

} // namespace
} // namespace orb
