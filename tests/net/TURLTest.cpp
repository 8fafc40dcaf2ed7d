#include "base/Exceptions.h"
#include "net/HTTPDataProvider.h"

#include <gtest/gtest.h>

using orb::TURL;

TEST(TURL, NewAddressIsEmpty)
{
    TURL u;
    EXPECT_EQ(u.Protocol, "");
    EXPECT_EQ(u.Port, 0);
    EXPECT_EQ(u.Parameters.Count(), 0);
    EXPECT_EQ(u.BodyType, orb::btBinary);
    EXPECT_FALSE(u.UTF8_Parameters);
}

TEST(TURL, SetURLSplitsTheAddressAndWritesThePortExplicitly)
{
    struct Case
    {
        std::string In, Protocol, Host;
        int Port;
        std::string Path, Document, Out;
    };
    const Case cases[] = {
        {"https://update.example.com/a/b/index.xml", "https", "update.example.com", 443, "/a/b/", "index.xml",
         "https://update.example.com:443/a/b/index.xml"},
        {"http://conf.example.com/cgi/settings", "http", "conf.example.com", 80, "/cgi/", "settings",
         "http://conf.example.com:80/cgi/settings"},
        {"http://127.0.0.1:8080/", "http", "127.0.0.1", 8080, "/", "", "http://127.0.0.1:8080/"},
        {"http://host", "http", "host", 80, "/", "", "http://host:80/"},
        {"HTTPS://Host.Example:8443/x/../y/", "https", "Host.Example", 8443, "/x/../y/", "",
         "https://Host.Example:8443/x/../y/"},
        {"http://[::1]:81/dir/file.txt", "http", "[::1]", 81, "/dir/", "file.txt", "http://[::1]:81/dir/file.txt"},
        {"http://user:pw@host/p/q", "http", "host", 80, "/p/", "q", "http://host:80/p/q"},
        {"https://h/index.xml?entry=demo&x=1#frag", "https", "h", 443, "/", "index.xml", "https://h:443/index.xml"},
        // Host forms the parser rewrites in steps settle before the parts are taken.
        {"http://3%33166/a", "http", "0.0.129.142", 80, "/", "a", "http://0.0.129.142:80/a"},
        {"http://%31%32%37.1/", "http", "127.0.0.1", 80, "/", "", "http://127.0.0.1:80/"},
        {"http://0x7f.1:81/", "http", "127.0.0.1", 81, "/", "", "http://127.0.0.1:81/"},
    };
    for (const auto& c : cases)
    {
        TURL u;
        u.SetURL(c.In);
        EXPECT_EQ(u.Protocol, c.Protocol) << c.In;
        EXPECT_EQ(u.Host, c.Host) << c.In;
        EXPECT_EQ(u.Port, c.Port) << c.In;
        EXPECT_EQ(u.Path, c.Path) << c.In;
        EXPECT_EQ(u.Document, c.Document) << c.In;
        EXPECT_EQ(u.URL_String(), c.Out) << c.In;
    }
}

TEST(TURL, SetURLDropsOldParametersAndBody)
{
    TURL u;
    u.Parameters.SetValues("entry", "demo");
    u.Body = "x";
    u.SetURL("http://h/q?a=1");
    EXPECT_EQ(u.Parameters.Count(), 0);
    EXPECT_EQ(u.Body, "");
    EXPECT_EQ(u.BodyType, orb::btText);
    EXPECT_EQ(u.URL_String().find('?'), std::string::npos);
}

TEST(TURL, BadAddressesRaiseConvertError)
{
    for (const char* bad : {"http://h:abc/", "http://h:99999/", "", "no address at all", "http://"})
    {
        TURL u;
        EXPECT_THROW(u.SetURL(bad), orb::EConvertError) << bad;
    }
}

TEST(TURL, FileAddressKeepsHostAndParametersAndSplitsAtLastSeparator)
{
    TURL u;
    u.SetURL("http://h:81/a/b");
    u.Parameters.SetValues("k", "v");
    u.SetURL("file://C:\\dir\\sub\\index.xml");
    EXPECT_EQ(u.Protocol, "file");
    EXPECT_EQ(u.Path, "C:\\dir\\sub\\");
    EXPECT_EQ(u.Document, "index.xml");
    EXPECT_EQ(u.Host, "h");
    EXPECT_EQ(u.Port, 81);
    EXPECT_EQ(u.Parameters.Values("k"), "v");
    u.SetURL("file:///home/u/index.xml");
    EXPECT_EQ(u.Path, "/home/u/");
    EXPECT_EQ(u.Document, "index.xml");
}

TEST(TURL, ParametersAreEncodedInTheAnsiCodePageInInsertionOrder)
{
    TURL u;
    u.SetURL("http://h/s");
    u.Parameters.SetValues("zeta", "a b&\xC3\xA9"); // space, ampersand, e acute
    u.Parameters.SetValues("alpha", "~*!'()-._");
    u.Parameters.SetValues("path", "/x:y=z");
    u.Parameters.Add("empty=");
    u.Parameters.SetValues("euro", "\xE2\x82\xAC\xD0\xAF"); // euro sign is 0x80 in 1252; Cyrillic Ya is not there
    EXPECT_EQ(u.URL_String(), "http://h:80/s?zeta=a+b%26%E9&alpha=~*!'()-._&path=%2Fx%3Ay%3Dz&empty=&euro=%80%3F");
    u.UTF8_Parameters = true;
    EXPECT_EQ(u.EncodedParameters(), "zeta=a+b%26%C3%A9&alpha=~*!'()-._&path=%2Fx%3Ay%3Dz&empty=&euro=%E2%82%AC%D0%AF");
}

TEST(TURL, ParameterNamesUseTheCodePageEvenWithUtf8Values)
{
    TURL u;
    u.UTF8_Parameters = true;
    u.Parameters.SetValues("n\xC3\xA9", "\xC3\xA9");
    EXPECT_EQ(u.EncodedParameters(), "n%E9=%C3%A9");
}

TEST(TURL, MoveParametersToBodyMakesAFormPost)
{
    TURL u;
    u.SetURL("https://h/passwords");
    u.Parameters.SetValues("login", "a b");
    u.Parameters.SetValues("mail", "x@y");
    u.MoveParametersToBody();
    EXPECT_EQ(u.Body, "login=a+b&mail=x%40y");
    EXPECT_EQ(u.BodyType, orb::btParameters);
    EXPECT_EQ(u.Parameters.Count(), 0);
    EXPECT_EQ(u.URL_String(), "https://h:443/passwords");
    EXPECT_EQ(u.RequestString(), "https://h:443/passwords\r\nPOST\r\nlogin=a+b&mail=x%40y");
}

TEST(TURL, RequestStringDescribesBinaryBodiesByLength)
{
    TURL u;
    u.SetURL("http://h/up");
    EXPECT_EQ(u.RequestString(), "http://h:80/up");
    u.Body = std::string("\x01\x02\x00\x03\x04", 5);
    u.BodyType = orb::btBinary;
    EXPECT_EQ(u.RequestString(), "http://h:80/up\r\n<<POST 5 BYTES OF BINARY DATA>>");
    u.BodyType = orb::btText;
    u.Body = "{\"a\":1}";
    EXPECT_EQ(u.RequestString(), "http://h:80/up\r\nPOST\r\n{\"a\":1}");
}

TEST(TURL, PartsFilledByHandAreWrittenAsGiven)
{
    TURL u;
    u.Protocol = "http";
    u.Host = "reminder.example";
    u.Port = 8080;
    u.Path = "/cgi-bin/";
    u.Document = "resend_password";
    u.Parameters.SetValues("login", "demo");
    EXPECT_EQ(u.URL_String(), "http://reminder.example:8080/cgi-bin/resend_password?login=demo");
}
