#include "net/HTTPDataProvider.h"

#include "localisation/Unit_Language.h"
#include "support/Servers.h"
#include "support/TestData.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace orb
{
namespace
{

using nlohmann::json;
using test::TFixtureServer;

using test::Compress;

/// Mostly compressible bytes of every value, so that coded bodies span many network reads.
std::string MixedBytes(size_t Size)
{
    std::mt19937 gen(7);
    std::string out(Size, '\0');
    for (size_t i = 0; i < Size; ++i)
        out[i] = static_cast<char>(i % 3 == 0 ? gen() : i / 1000);
    return out;
}

class HTTPDataProviderTest : public ::testing::Test
{
protected:
    TFixtureServer Server;

    /// GET of Path on the fixture server; the body, or the exception the provider raised.
    std::string Get(THTTPDataProvider& Provider, const std::string& Path)
    {
        Provider.URL.SetURL(Server.URL(Path));
        std::string data;
        Provider.GetString(data);
        return data;
    }

    /// The exception a GET of Path raises (fails the test when none).
    template <typename E> E Failure(THTTPDataProvider& Provider, const std::string& Path)
    {
        try
        {
            Get(Provider, Path);
        }
        catch (const E& error)
        {
            return error;
        }
        catch (const std::exception& other)
        {
            ADD_FAILURE() << "unexpected " << ExceptionClassName(other) << ": " << other.what();
            throw;
        }
        ADD_FAILURE() << "no error for " << Path;
        throw std::runtime_error("no error");
    }
};

TEST_F(HTTPDataProviderTest, ReturnsTheBodyOfASuccessfulAnswer)
{
    Server.Answer("/ok", json{{"body", "hello"}});
    THTTPDataProvider provider;
    EXPECT_EQ(Get(provider, "/ok"), "hello");
    EXPECT_EQ(provider.HTTP_Client.Response.ResponseCode, 200);
    EXPECT_EQ(provider.ResultCode, httpSuccess);
}

TEST_F(HTTPDataProviderTest, NotFoundNamesTheFullAddressWithItsPort)
{
    THTTPDataProvider provider;
    provider.URL.SetURL(Server.URL("/dir/missing.xml"));
    provider.URL.Parameters.SetValues("entry", "a b");
    std::string data;
    try
    {
        provider.GetString(data);
        FAIL() << "no error";
    }
    catch (const EHTTPDataProvider& error)
    {
        EXPECT_EQ(error.ErrorCode, httpNotFound);
        EXPECT_EQ(error.Message,
                  "URL: http://127.0.0.1:" + std::to_string(Server.Port()) + "/dir/missing.xml?entry=a+b not found");
    }
}

TEST_F(HTTPDataProviderTest, ServerErrorAsksTheUserToRestart)
{
    Server.Answer("/fail", json{{"status", 500}, {"body", "trace"}});
    THTTPDataProvider provider;
    const auto error = Failure<EHTTPProtocolException>(provider, "/fail");
    EXPECT_EQ(error.ErrorCode, 500);
    EXPECT_EQ(error.Message, "HTTP/1.1 500 Internal Server Error\r\nPlease restart your application. If the problem "
                             "persists please contact Tech Support.");
    EXPECT_EQ(error.ErrorMessage, "trace");
}

TEST_F(HTTPDataProviderTest, MaintenanceAnswersGiveTheTimeToWait)
{
    const std::string soon = "We are currently performing scheduled maintenance. We will be back soon!";
    const std::string about = "The system is temporarily unavailable due to scheduled maintenance and will be "
                              "available in about ";
    struct TCase
    {
        std::vector<json> Headers;
        std::string Expected;
        int RetryAfter;
    };
    const TCase cases[] = {
        {{{"Retry-After", "30"}}, about + "1 minute.", 30},
        {{{"Retry-After", "59"}}, about + "1 minute.", 59},
        {{{"Retry-After", "60"}}, about + "2 minutes.", 60},
        {{{"Retry-After", "90"}}, about + "2 minutes.", 90},
        {{{"Retry-After", "120"}}, about + "3 minutes.", 120},
        {{{"Retry-After", "3600"}}, about + "61 minutes.", 3600},
        {{}, soon, 0},
        {{{"Retry-After", "Wed, 21 Oct 2026 07:28:00 GMT"}}, soon, 0},
    };
    THTTPDataProvider provider;
    for (const auto& c : cases)
    {
        std::vector<json> headers = c.Headers;
        headers.push_back({"Content-Type", "text/plain"});
        Server.Answer("/m", json{{"status", 503}, {"headers", headers}, {"body", "Schema Unavailable now"}});
        const auto error = Failure<EHTTPServiceUnavailable>(provider, "/m");
        EXPECT_EQ(error.Message, c.Expected);
        EXPECT_EQ(error.RetryAfter, c.RetryAfter);
    }
}

TEST_F(HTTPDataProviderTest, OtherUnavailableAnswersArePlainProtocolErrors)
{
    struct TCase
    {
        std::string ContentType;
        std::string Body;
    };
    const TCase cases[] = {
        {"text/html", "Schema Unavailable"}, {"Text/Plain", "Schema Unavailable"}, {"text/plain", "Down for a while"}};
    THTTPDataProvider provider;
    for (const auto& c : cases)
    {
        Server.Answer("/m", json{{"status", 503},
                                 {"reason", "Service Unavailable"},
                                 {"headers", {{"Content-Type", c.ContentType}, {"Retry-After", "60"}}},
                                 {"body", c.Body}});
        const auto error = Failure<EHTTPProtocolException>(provider, "/m");
        EXPECT_EQ(error.ErrorCode, 503);
        EXPECT_EQ(error.Message, "HTTP/1.1 503 Service Unavailable");
        EXPECT_EQ(error.ErrorMessage, c.Body);
        EXPECT_NE(error.RawHeaders.find("Retry-After: 60\r\n"), std::string::npos);
    }
}

TEST_F(HTTPDataProviderTest, ContentTypeParametersDoNotHideTheMaintenanceAnswer)
{
    Server.Answer("/m", json{{"status", 503},
                             {"headers", {{"Content-Type", "text/plain; charset=utf-8"}}},
                             {"body", "Schema Unavailable"}});
    THTTPDataProvider provider;
    EXPECT_EQ(Failure<EHTTPServiceUnavailable>(provider, "/m").RetryAfter, 0);
}

TEST_F(HTTPDataProviderTest, OtherStatusesAreProtocolErrorsAndRedirectsAreNotFollowed)
{
    const std::pair<int, std::string> cases[] = {
        {301, "HTTP/1.1 301 Moved Permanently"}, {401, "HTTP/1.1 401 Unauthorized"}, {403, "HTTP/1.1 403 Forbidden"},
        {418, "HTTP/1.1 418 I'm a Teapot"},      {502, "HTTP/1.1 502 Bad Gateway"},
    };
    Server.Answer("/target", json{{"body", "moved here"}});
    THTTPDataProvider provider;
    for (const auto& [status, line] : cases)
    {
        Server.Answer("/s", json{{"status", status}, {"headers", {{"Location", Server.URL("/target")}}}});
        const auto error = Failure<EHTTPProtocolException>(provider, "/s");
        EXPECT_EQ(error.ErrorCode, status);
        EXPECT_EQ(error.Message, line);
    }
    for (const auto& request : Server.Requests())
        EXPECT_NE(request["path"], "/target");
}

TEST_F(HTTPDataProviderTest, DecodesGzipAndDeflateByTheirNameInAnyCase)
{
    const std::string text(5000, 'x');
    struct TCase
    {
        json Answer;
        std::string Expected;
    };
    const TCase cases[] = {
        {{{"body", text}, {"encode", "gzip"}}, text},
        {{{"body", text}, {"encode", "gzip"}, {"content_encoding", "GZIP"}}, text},
        {{{"body", text}, {"encode", "deflate"}}, text},
        {{{"body", text}, {"encode", "deflate"}, {"content_encoding", "Deflate"}}, text},
        {{{"body", "brotli bytes"}, {"content_encoding", "br"}}, "brotli bytes"},
        {{{"body", ""}, {"content_encoding", "identity"}}, ""},
    };
    THTTPDataProvider provider;
    for (const auto& c : cases)
    {
        Server.Answer("/z", c.Answer);
        EXPECT_EQ(Get(provider, "/z"), c.Expected) << c.Answer.dump();
    }
}

TEST_F(HTTPDataProviderTest, ABrokenCompressedBodyIsAnError)
{
    Server.Answer("/z", json{{"body", "not really gzip"}, {"content_encoding", "gzip"}});
    THTTPDataProvider provider;
    Failure<EDecompressionError>(provider, "/z");
    // The next request on the same provider starts afresh.
    Server.Answer("/ok", json{{"body", "fine"}});
    EXPECT_EQ(Get(provider, "/ok"), "fine");
}

TEST_F(HTTPDataProviderTest, OnDataReceivesTheDecodedBodyOfASuccessfulAnswerPieceByPiece)
{
    const std::string bytes = MixedBytes(1500000);
    const std::string body = TFixtureServer::Bytes(bytes);
    struct TCase
    {
        json Answer;
        std::string Expected;
    };
    const TCase cases[] = {
        {{{"body", body}}, bytes},
        {{{"body", body}, {"encode", "gzip"}}, bytes},
        {{{"body", body}, {"encode", "deflate"}}, bytes},
        {{{"body", body}, {"encode", "gzip"}, {"content_encoding", "GZip"}}, bytes},
        {{{"body", body}, {"encode", "deflate"}, {"content_encoding", "DEFLATE"}}, bytes},
        // Another coding is handed on as it came.
        {{{"body", "brotli bytes"}, {"content_encoding", "br"}}, "brotli bytes"},
        {{{"body", ""}}, ""},
        // Bytes after the end of the coded stream are ignored, as when the body is decoded whole.
        {{{"body", TFixtureServer::Bytes(Compress("abc", true) + "tail")}, {"content_encoding", "gzip"}}, "abc"},
    };
    THTTPDataProvider provider;
    std::string received;
    size_t pieces = 0;
    provider.OnData = [&](const char* Data, size_t Size) {
        received.append(Data, Size);
        ++pieces;
    };
    std::int64_t lastReport = 0;
    provider.HTTP_Client.OnWork = [&](std::int64_t Bytes) { lastReport = Bytes; };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Answer.dump().substr(0, 120));
        received.clear();
        pieces = 0;
        lastReport = 0;
        Server.Answer("/z", c.Answer);
        EXPECT_EQ(Get(provider, "/z"), "");
        EXPECT_TRUE(received == c.Expected) << received.size() << " bytes instead of " << c.Expected.size();
        EXPECT_TRUE(provider.InputStream.empty());
        if (c.Expected.size() > 1000000)
        {
            EXPECT_GT(pieces, 4u);
        }
        // Progress counts the bytes on the wire, not the decoded ones.
        EXPECT_EQ(std::to_string(lastReport), provider.HTTP_Client.Response.Header("Content-Length"));
    }
}

TEST_F(HTTPDataProviderTest, ACodedBodyThatIsCutShortOrDamagedIsAnErrorThroughOnData)
{
    const std::string text(100000, 't');
    const std::string gzip = Compress(text, true);
    const std::string deflate = Compress(text, false);
    struct TCase
    {
        json Answer;
        std::string Message;
    };
    const TCase cases[] = {
        {{{"body", TFixtureServer::Bytes(gzip.substr(0, gzip.size() - 8))}, {"content_encoding", "gzip"}},
         "Cannot decode the gzip answer: the data ends too early"},
        {{{"body", TFixtureServer::Bytes(deflate.substr(0, deflate.size() / 2))}, {"content_encoding", "deflate"}},
         "Cannot decode the deflate answer: the data ends too early"},
        {{{"body", ""}, {"content_encoding", "gzip"}}, "Cannot decode the gzip answer: the data ends too early"},
        {{{"body", "not really gzip"}, {"content_encoding", "gzip"}},
         "Cannot decode the gzip answer: incorrect header check"},
        {{{"body", TFixtureServer::Bytes(deflate)}, {"content_encoding", "gzip"}},
         "Cannot decode the gzip answer: incorrect header check"},
    };
    THTTPDataProvider provider;
    std::string received;
    provider.OnData = [&](const char* Data, size_t Size) { received.append(Data, Size); };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Answer.dump().substr(0, 120));
        Server.Answer("/z", c.Answer);
        EXPECT_EQ(Failure<EDecompressionError>(provider, "/z").Message, c.Message);
    }
    // A cut stream handed on everything it could decode, but the request did not succeed.
    EXPECT_FALSE(received.empty());
    // A connection dropped in the middle of a coded body is an error too.
    Server.Answer("/drop", json{{"body", text}, {"encode", "gzip"}, {"drop_after", 50}});
    Failure<EConnectionClosed>(provider, "/drop");
    Server.Answer("/ok", json{{"body", "fine"}, {"encode", "gzip"}});
    received.clear();
    Get(provider, "/ok");
    EXPECT_EQ(received, "fine");
}

TEST_F(HTTPDataProviderTest, ErrorAnswersAreCollectedForTheirExceptionEvenWithOnData)
{
    THTTPDataProvider provider;
    bool called = false;
    provider.OnData = [&](const char*, size_t) { called = true; };
    Server.Answer("/e", json{{"status", 403}, {"reason", "Forbidden"}, {"body", "no access for you"}});
    EXPECT_EQ(Failure<EHTTPProtocolException>(provider, "/e").ErrorMessage, "no access for you");
    Server.Answer("/m", json{{"status", 503},
                             {"headers", {{"Content-Type", "text/plain"}, {"Retry-After", "60"}}},
                             {"body", "Schema Unavailable"}});
    EXPECT_EQ(Failure<EHTTPServiceUnavailable>(provider, "/m").RetryAfter, 60);
    EXPECT_FALSE(called);
}

TEST_F(HTTPDataProviderTest, AnExceptionFromOnDataEndsTheRequestWithIt)
{
    Server.Answer("/z", json{{"body", std::string(300000, 'z')}, {"encode", "gzip"}});
    THTTPDataProvider provider;
    provider.OnData = [](const char*, size_t) { throw EInOutError(28, "No space left on device"); };
    EXPECT_EQ(Failure<EInOutError>(provider, "/z").ErrorCode, 28);
    provider.OnData = nullptr;
    EXPECT_EQ(Get(provider, "/z"), std::string(300000, 'z'));
}

TEST_F(HTTPDataProviderTest, GetCarriesOnlyTheLauncherHeaders)
{
    Server.Answer("/e", json{{"body", "x"}});
    THTTPDataProvider provider;
    Get(provider, "/e");
    provider.SetCompression(false);
    Get(provider, "/e");
    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0]["method"], "GET");
    EXPECT_EQ(TFixtureServer::Header(requests[0], "User-Agent"), "HTTPDataProvider");
    EXPECT_EQ(TFixtureServer::Header(requests[0], "Accept-Encoding"), "gzip, deflate");
    EXPECT_EQ(TFixtureServer::Header(requests[0], "Accept"), "");
    EXPECT_EQ(TFixtureServer::Header(requests[0], "Content-Type"), "");
    EXPECT_EQ(TFixtureServer::Header(requests[1], "Accept-Encoding"), "");
}

TEST_F(HTTPDataProviderTest, PostsTheBodyWithTheContentTypeOfItsKind)
{
    Server.Answer("/p", json{{"body", "ok"}});
    const std::pair<TBodyType, std::string> cases[] = {
        {btParameters, "application/x-www-form-urlencoded"},
        {btText, "application/octet-stream"},
        {btBinary, "application/octet-stream"},
    };
    THTTPDataProvider provider;
    for (const auto& [type, contentType] : cases)
    {
        provider.URL.SetURL(Server.URL("/p"));
        provider.URL.Body = std::string("a=1&b=\xE9\0z", 9);
        provider.URL.BodyType = type;
        std::string data;
        provider.GetString(data);
        const auto request = Server.Requests().back();
        EXPECT_EQ(request["method"], "POST");
        EXPECT_EQ(TFixtureServer::Header(request, "Content-Type"), contentType);
        // The log holds the bytes as Latin-1 characters written in UTF-8.
        EXPECT_EQ(request["body"].get<std::string>(), std::string("a=1&b=\xC3\xA9\0z", 10));
    }
}

TEST_F(HTTPDataProviderTest, UserAgentIsTakenWhenTheProviderIsMade)
{
    Server.Answer("/e", json{{"body", "x"}});
    THTTPDataProvider before;
    SetDefaultUserAgent("ORB_LOADER 1.2.3.4");
    THTTPDataProvider after;
    SetDefaultUserAgent("HTTPDataProvider");
    Get(before, "/e");
    Get(after, "/e");
    const auto requests = Server.Requests();
    EXPECT_EQ(TFixtureServer::Header(requests[0], "User-Agent"), "HTTPDataProvider");
    EXPECT_EQ(TFixtureServer::Header(requests[1], "User-Agent"), "ORB_LOADER 1.2.3.4");
}

TEST_F(HTTPDataProviderTest, CookiesSetForOneProviderAreSentByAnother)
{
    Server.Answer("/login", json{{"body", "in"}, {"set_cookies", {"session=abc123; Path=/"}}});
    Server.Answer("/private", json{{"body", "secret"}, {"require_cookie", "session=abc123"}});
    THTTPDataProvider first;
    THTTPDataProvider second;
    EXPECT_EQ(Failure<EHTTPProtocolException>(second, "/private").ErrorCode, 403);
    Get(first, "/login");
    EXPECT_EQ(Get(second, "/private"), "secret");
}

TEST_F(HTTPDataProviderTest, DigestAuthenticationWorksForGetAndPost)
{
    Server.Answer("/d", json{{"body", "welcome"}, {"digest", {{"user", "ann"}, {"password", "s3cret"}}}});
    THTTPDataProvider provider;
    provider.URL.SetURL(Server.URL("/d"));
    provider.URL.UserName = "ann";
    provider.URL.Password = "s3cret";
    std::string data;
    provider.GetString(data);
    EXPECT_EQ(data, "welcome");

    provider.URL.Body = "form=1";
    provider.URL.BodyType = btParameters;
    provider.GetString(data);
    EXPECT_EQ(data, "welcome");
    EXPECT_EQ(Server.Requests().back()["method"], "POST");
    EXPECT_EQ(Server.Requests().back()["body"], "form=1");
}

TEST_F(HTTPDataProviderTest, WrongDigestCredentialsEndInTheUnauthorizedError)
{
    Server.Answer("/d", json{{"body", "welcome"}, {"digest", {{"user", "ann"}, {"password", "s3cret"}}}});
    THTTPDataProvider provider;
    provider.URL.SetURL(Server.URL("/d"));
    provider.URL.UserName = "ann";
    provider.URL.Password = "wrong";
    std::string data;
    try
    {
        provider.GetString(data);
        FAIL() << "no error";
    }
    catch (const EHTTPProtocolException& error)
    {
        EXPECT_EQ(error.ErrorCode, 401);
    }
    // Without credentials the challenge is not answered at all.
    provider.URL.UserName.clear();
    EXPECT_EQ(Failure<EHTTPProtocolException>(provider, "/d").ErrorCode, 401);
}

TEST_F(HTTPDataProviderTest, AStalledBodyEndsWithTheReadTimeOut)
{
    Server.Answer("/stall", json{{"body", std::string(10000, 'a')}, {"stall_after", 100}});
    Server.Answer("/silent", json{{"body", "late"}, {"delay", 30}});
    THTTPDataProvider provider;
    provider.HTTP_Client.ReadTimeout = 300;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Failure<EReadTimeout>(provider, "/stall").Message, "Read timed out.");
    EXPECT_EQ(Failure<EReadTimeout>(provider, "/silent").Message, "Read timed out.");
    // Not a timing assertion: only proves that the configured time, not the library default, ended the wait.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

TEST_F(HTTPDataProviderTest, AnAnswerWithoutStatusLineIsAReadTimeOut)
{
    Server.Answer("/raw", json{{"raw", "hello there\r\n\r\n"}});
    THTTPDataProvider provider;
    EXPECT_EQ(Failure<EReadTimeout>(provider, "/raw").Message, "HTTP Read Timeout");
}

TEST_F(HTTPDataProviderTest, ADroppedConnectionIsPassedOnAsConnectionError)
{
    Server.Answer("/drop", json{{"body", std::string(10000, 'a')}, {"drop_after", 100}});
    THTTPDataProvider provider;
    Failure<EConnectionClosed>(provider, "/drop");
}

TEST_F(HTTPDataProviderTest, ARefusedConnectionIsASocketError)
{
    THTTPDataProvider provider;
    provider.URL.SetURL("http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) + "/x");
    std::string data;
    EXPECT_THROW(provider.GetString(data), ESocketError);
}

TEST_F(HTTPDataProviderTest, AServerThatNeverAcceptsEndsWithTheConnectTimeOut)
{
    // A listening socket with a full backlog: further connection attempts are never answered.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(listener, 0), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len), 0);
    std::vector<int> fillers;
    for (int i = 0; i < 3; ++i)
    {
        const int filler = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        connect(filler, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        fillers.push_back(filler);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));

    THTTPDataProvider provider;
    provider.HTTP_Client.ConnectTimeout = 300;
    provider.HTTP_Client.ReadTimeout = 60000;
    provider.URL.SetURL("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/x");
    std::string data;
    EXPECT_THROW(provider.GetString(data), EConnectTimeout);
    for (int fd : fillers)
        close(fd);
    close(listener);
}

TEST_F(HTTPDataProviderTest, AbortEndsAStalledDownloadAsCancellation)
{
    Server.Answer("/stall", json{{"body", std::string(10000, 'a')}, {"stall_after", 100}});
    THTTPDataProvider provider;
    std::atomic<bool> started{false};
    provider.HTTP_Client.OnWork = [&](std::int64_t) { started = true; };
    std::thread canceller([&] {
        while (!started)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        provider.Abort();
    });
    const auto error = Failure<EHTTPDataProvider>(provider, "/stall");
    canceller.join();
    EXPECT_EQ(error.ErrorCode, httpAborted);
    EXPECT_EQ(error.Message, "Request to server was cancelled by user");
    EXPECT_EQ(provider.ResultCode, httpAborted);
}

TEST_F(HTTPDataProviderTest, AnAbortBeforeTheRequestHasNoEffectAndTheCancelledTextFollowsTheLanguage)
{
    Server.Answer("/ok", json{{"body", "fine"}});
    THTTPDataProvider provider;
    provider.Abort();
    EXPECT_EQ(Get(provider, "/ok"), "fine");

    SetRequestAbortedMessage("Abgebrochen");
    Server.Answer("/stall", json{{"body", std::string(1000, 'a')}, {"stall_after", 10}});
    provider.HTTP_Client.OnWork = [&](std::int64_t) { provider.Abort(); };
    const auto error = Failure<EHTTPDataProvider>(provider, "/stall");
    SetRequestAbortedMessage("Request to server was cancelled by user");
    EXPECT_EQ(error.Message, "Abgebrochen");
}

TEST_F(HTTPDataProviderTest, AnAbortDuringACompletedTransferStillCancels)
{
    // The abort arrives while the data is already complete: the request counts as cancelled anyway.
    Server.Answer("/ok", json{{"body", "all of it"}});
    THTTPDataProvider provider;
    provider.HTTP_Client.OnWork = [&](std::int64_t Bytes) {
        if (Bytes == 9)
            provider.Abort();
    };
    EXPECT_EQ(Failure<EHTTPDataProvider>(provider, "/ok").ErrorCode, httpAborted);
}

TEST_F(HTTPDataProviderTest, AnErrorOfAnotherKindDuringACancellationIsPassedOnUnchanged)
{
    // The body arrives complete but its gzip stream ends too early; the abort that came meanwhile does not hide that.
    const std::string cut = Compress(MixedBytes(4000), true).substr(0, 200);
    Server.Answer("/z", json{{"body", TFixtureServer::Bytes(cut)}, {"content_encoding", "gzip"}});
    THTTPDataProvider provider;
    provider.HTTP_Client.OnWork = [&](std::int64_t) { provider.Abort(); };
    Failure<EDecompressionError>(provider, "/z");
    EXPECT_EQ(provider.ResultCode, httpAborted);
}

TEST_F(HTTPDataProviderTest, ReportsTheBytesReceivedSoFar)
{
    const std::string body(300000, 'b');
    Server.Answer("/big", json{{"body", body}});
    THTTPDataProvider provider;
    std::vector<std::int64_t> reports;
    provider.HTTP_Client.OnWork = [&](std::int64_t Bytes) { reports.push_back(Bytes); };
    EXPECT_EQ(Get(provider, "/big").size(), body.size());
    ASSERT_FALSE(reports.empty());
    EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
    EXPECT_EQ(reports.back(), static_cast<std::int64_t>(body.size()));
}

TEST_F(HTTPDataProviderTest, ReusesItsConnectionAndOpensAFreshOneAfterAFailure)
{
    Server.Answer("/a", json{{"body", "A"}});
    Server.Answer("/bad", json{{"status", 403}});
    THTTPDataProvider provider;
    Get(provider, "/a");
    Get(provider, "/a");
    Get(provider, "/a");
    Failure<EHTTPProtocolException>(provider, "/bad");
    Get(provider, "/a");
    const auto requests = Server.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[1]["client_port"], requests[0]["client_port"]);
    EXPECT_EQ(requests[2]["client_port"], requests[0]["client_port"]);
    EXPECT_EQ(requests[3]["client_port"], requests[0]["client_port"]);
    EXPECT_NE(requests[4]["client_port"], requests[0]["client_port"]);
}

TEST_F(HTTPDataProviderTest, TheCancelledTextComesFromEveryLoadedLanguage)
{
    THTTPDataProvider provider;
    const std::string savedPath = ResourcePath, savedCode = LanguageCode;
    ResourcePath = (test::SourceDir() / "resource").string();
    LanguageCode = "en_US";
    LanguageTable = std::make_unique<TLanguage>();
    const std::string text = LanguageTable->Get("RequestAbortedMessage");
    const std::string current = RequestAbortedMessage();
    LanguageTable.reset();
    ResourcePath = savedPath;
    LanguageCode = savedCode;
    SetRequestAbortedMessage("Request to server was cancelled by user");
    EXPECT_EQ(current, text);
    EXPECT_NE(text.rfind("Unknown:", 0), 0u) << "the language file has no RequestAbortedMessage";
}

TEST_F(HTTPDataProviderTest, AnswersHeldInMemoryAreRefusedPastTheirLimitWhileTheyArrive)
{
    constexpr std::int64_t MB = 1024 * 1024;
    struct TCase
    {
        const char* Name;
        json Answer;
        bool Refused;
    };
    const TCase cases[] = {
        {"exactly the limit", {{"size", MaxAnswerSize}}, false},
        {"one byte more", {{"size", MaxAnswerSize + 1}}, true},
        {"a 300 MB configuration answer", {{"size", 300 * MB}}, true},
        {"gzip exactly the limit once decoded", {{"size", MaxAnswerSize}, {"encode", "gzip"}}, false},
        // About 1 MB on the wire that would expand to 1 GB.
        {"a gzip bomb", {{"size", 1024 * MB}, {"fill", std::string(1, '\0')}, {"encode", "gzip"}}, true},
        {"a deflate bomb", {{"size", 1024 * MB}, {"fill", std::string(1, '\0')}, {"encode", "deflate"}}, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        Server.Answer("/big.xml", c.Answer);
        THTTPDataProvider provider;
        if (!c.Refused)
        {
            EXPECT_EQ(static_cast<std::int64_t>(Get(provider, "/big.xml").size()), MaxAnswerSize);
            continue;
        }
        const auto error = Failure<EHTTPDataProvider>(provider, "/big.xml");
        EXPECT_EQ(error.Message, "The server's answer from http://127.0.0.1:" + std::to_string(Server.Port()) +
                                     "/big.xml is larger than 64 MB; the request was stopped.");
        EXPECT_EQ(error.ErrorCode, httpUndefined);
        // Reading stopped at the limit: no more than it was kept.
        EXPECT_LE(static_cast<std::int64_t>(provider.InputStream.size()), MaxAnswerSize);
        // The provider goes on with the next request.
        Server.Answer("/ok", json{{"body", "next"}});
        EXPECT_EQ(Get(provider, "/ok"), "next");
    }
}

TEST_F(HTTPDataProviderTest, DownloadsHandedToOnDataAreNotLimited)
{
    const std::int64_t size = MaxAnswerSize + 16 * 1024 * 1024;
    for (const char* coding : {"", "gzip"})
    {
        SCOPED_TRACE(coding);
        json answer{{"size", size}};
        if (*coding != '\0')
            answer["encode"] = coding;
        Server.Answer("/file.bin", answer);
        THTTPDataProvider provider;
        std::int64_t received = 0;
        bool onlyFill = true;
        provider.OnData = [&](const char* Data, size_t Size) {
            received += static_cast<std::int64_t>(Size);
            onlyFill = onlyFill && std::string_view(Data, Size).find_first_not_of('x') == std::string_view::npos;
        };
        EXPECT_EQ(Get(provider, "/file.bin"), "");
        EXPECT_EQ(received, size);
        EXPECT_TRUE(onlyFill);
        EXPECT_TRUE(provider.InputStream.empty());
    }
}

TEST_F(HTTPDataProviderTest, ErrorAnswersKeepOnlyTheBeginningOfTheirBodyAndSaySo)
{
    const std::string cutNote = "\r\n(answer cut after 65536 bytes)";
    const std::string kept(MaxErrorBodySize, 'x');
    struct TCase
    {
        const char* Name;
        json Answer;
        bool WithOnData;
        std::string ErrorMessage;
    };
    const TCase cases[] = {
        {"a 200 MB error body", {{"status", 403}, {"size", 200 * 1024 * 1024}}, false, kept + cutNote},
        {"the same while downloading", {{"status", 403}, {"size", 200 * 1024 * 1024}}, true, kept + cutNote},
        {"one byte more than is kept", {{"status", 502}, {"size", MaxErrorBodySize + 1}}, false, kept + cutNote},
        {"exactly what is kept", {{"status", 502}, {"size", MaxErrorBodySize}}, false, kept},
        {"a server error", {{"status", 500}, {"size", 5 * MaxErrorBodySize}}, false, kept + cutNote},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        Server.Answer("/e", c.Answer);
        THTTPDataProvider provider;
        if (c.WithOnData)
            provider.OnData = [](const char*, size_t) { FAIL() << "an error body reached OnData"; };
        const auto error = Failure<EHTTPProtocolException>(provider, "/e");
        EXPECT_EQ(error.ErrorCode, c.Answer["status"]);
        EXPECT_EQ(error.ErrorMessage, c.ErrorMessage);
        EXPECT_LE(provider.InputStream.size(), MaxErrorBodySize + cutNote.size());
    }

    // A long maintenance answer is still recognised by its beginning.
    Server.Answer("/m", json{{"status", 503},
                             {"headers", {{"Content-Type", "text/plain"}, {"Retry-After", "120"}}},
                             {"size", 10 * MaxErrorBodySize},
                             {"fill", "Schema Unavailable. "}});
    THTTPDataProvider provider;
    EXPECT_EQ(Failure<EHTTPServiceUnavailable>(provider, "/m").RetryAfter, 120);
}

TEST_F(HTTPDataProviderTest, OnlyHttpAndHttpsAddressesAreRequested)
{
    const std::string port = std::to_string(Server.Port());
    Server.Answer("/ok", json{{"body", "fine"}});
    struct TCase
    {
        std::string Address;
        std::string Sent; // the address as the refusal names it; "" when it is fetched
    };
    const TCase cases[] = {
        {"gopher://127.0.0.1:" + port + "/ok", "gopher://127.0.0.1:" + port + "/ok"},
        {"ftp://127.0.0.1:" + port + "/ok", "ftp://127.0.0.1:" + port + "/ok"},
        {"dict://127.0.0.1:" + port + "/ok", "dict://127.0.0.1:" + port + "/ok"},
        {"file:///etc/passwd", "file://:0/etc/passwd"},
        {"HTTP://127.0.0.1:" + port + "/ok", ""},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Address);
        THTTPDataProvider provider;
        provider.URL.SetURL(c.Address);
        std::string data;
        if (c.Sent.empty())
        {
            provider.GetString(data);
            EXPECT_EQ(data, "fine");
            continue;
        }
        try
        {
            provider.GetString(data);
            ADD_FAILURE() << "fetched: " << data;
        }
        catch (const EHTTPDataProvider& error)
        {
            EXPECT_EQ(error.Message,
                      "The address " + c.Sent + " was refused: only http and https addresses are allowed.");
        }
    }
    EXPECT_EQ(Server.Requests().size(), 1u);
}

TEST_F(HTTPDataProviderTest, RedirectsToOtherProtocolsAreNotFollowed)
{
    const std::string port = std::to_string(Server.Port());
    const std::string targets[] = {"file:///etc/passwd", "gopher://127.0.0.1:" + port + "/target",
                                   "ftp://127.0.0.1:" + port + "/target", Server.URL("/target")};
    Server.Answer("/target", json{{"body", "moved here"}});
    THTTPDataProvider provider;
    for (const auto& target : targets)
    {
        SCOPED_TRACE(target);
        Server.Answer("/r", json{{"status", 302}, {"headers", {{"Location", target}}}, {"body", "see there"}});
        const auto error = Failure<EHTTPProtocolException>(provider, "/r");
        EXPECT_EQ(error.Message, "HTTP/1.1 302 Found");
        EXPECT_EQ(error.ErrorMessage, "see there");
    }
    for (const auto& request : Server.Requests())
        EXPECT_EQ(request["path"], "/r");
}

TEST(HTTPServiceUnavailable, KeepsTheSecondsAndRoundsUpToWholeMinutes)
{
    EXPECT_EQ(EHTTPServiceUnavailable(1).Message, "The system is temporarily unavailable due to scheduled "
                                                  "maintenance and will be available in about 1 minute.");
    EXPECT_EQ(EHTTPServiceUnavailable(0).RetryAfter, 0);
    EXPECT_EQ(EHTTPServiceUnavailable(7200).RetryAfter, 7200);
    EXPECT_EQ(EHTTPServiceUnavailable(7200).ClassName(), "EHTTPServiceUnavailable");
}

} // namespace
} // namespace orb
