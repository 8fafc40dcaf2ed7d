#include "gui/WebDialog.h"

#include "GuiTestApplication.h"
#include "LoginWindowViews.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/LoaderSettings.h"
#include "support/Servers.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace orb
{
namespace
{

/// Generous bound for a page on loopback; only a hang or a lost load runs into it.
constexpr int LoadTimeoutMs = 30000;

/// Runs Script on Page and waits for its result (an invalid value when the page never answers).
QVariant Evaluate(QWebEnginePage& Page, const QString& Script)
{
    std::optional<QVariant> result;
    Page.runJavaScript(Script, [&result](const QVariant& Value) { result = Value; });
    (void)QTest::qWaitFor([&result] { return result.has_value(); }, LoadTimeoutMs);
    return result.value_or(QVariant());
}

/// One finished load as the window reported it.
struct TCompletion
{
    QString Url;
    bool Ok = false;
};

/// The web window on pages served by the fixture server.
class WebDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Server.Answer("/terms.html",
                      nlohmann::json{{"headers", {{"Content-Type", "text/html; charset=utf-8"}}},
                                     {"body", "<html><body><div style=\"height:3000px;width:3000px\">Terms</div>"
                                              "</body></html>"}});
    }

    /// Makes the window and records every completion it reports.
    void Open(const QString& Caption, const QString& URL, QWidget* Owner = nullptr)
    {
        Window = std::make_unique<TForm_IEBrowser>(Owner, Caption, URL);
        QObject::connect(Window.get(), &TForm_IEBrowser::DocumentCompleted, [this](const QUrl& Address, bool Ok) {
            Completions.push_back({Address.toString(), Ok});
        });
    }

    /// Waits until Count loads have completed; false when they did not within the bound.
    bool WaitForCompletions(std::size_t Count)
    {
        return QTest::qWaitFor([&] { return Completions.size() >= Count; }, LoadTimeoutMs);
    }

    test::TFixtureServer Server;
    std::unique_ptr<TForm_IEBrowser> Window;
    std::vector<TCompletion> Completions;
};

TEST_F(WebDialogTest, CaptionStartsWithUpperCaseLetter)
{
    struct TCase
    {
        QString Caption;
        QString Expected;
    };
    const TCase cases[] = {
        {"terms and conditions", "Terms and conditions"},
        {"", ""},
        {"Already Upper", "Already Upper"},
        {"x", "X"},
        {"1 year warranty", "1 year warranty"},
        {QString::fromUtf8("überblick"), QString::fromUtf8("Überblick")},
        {QString::fromUtf8("условия договора"), QString::fromUtf8("Условия договора")},
        {QString::fromUtf8("ελληνικά"), QString::fromUtf8("Ελληνικά")},
        {QString::fromUtf8("شروط"), QString::fromUtf8("شروط")},
        {QString::fromUtf8("\U00010428x"), QString::fromUtf8("\U00010400x")}, // outside the basic plane
    };
    for (const auto& c : cases)
    {
        EXPECT_EQ(TForm_IEBrowser::UpperFirst(c.Caption).toStdString(), c.Expected.toStdString())
            << c.Caption.toStdString();
        TForm_IEBrowser window(nullptr, c.Caption, "");
        EXPECT_EQ(window.windowTitle().toStdString(), c.Expected.toStdString()) << c.Caption.toStdString();
    }
}

TEST_F(WebDialogTest, OpensBlankPageFirstThenTheAddressOnce)
{
    const QString url = QString::fromStdString(Server.URL("/terms.html"));
    Open("terms", url);
    EXPECT_FALSE(Window->Initialized);
    EXPECT_EQ(Window->URL, url);
    Window->show();
    ASSERT_TRUE(WaitForCompletions(2)) << "the blank page and the address did not both load";
    EXPECT_EQ(Completions[0].Url.toStdString(), "about:blank");
    EXPECT_EQ(Completions[1].Url.toStdString(), url.toStdString());
    EXPECT_TRUE(Completions[1].Ok);
    EXPECT_TRUE(Window->Initialized);
    // The address is requested once: no further navigation follows the second completion.
    QTest::qWait(300);
    EXPECT_EQ(Completions.size(), 2u);
    int requests = 0;
    for (const auto& request : Server.Requests())
        requests += request["path"] == "/terms.html";
    EXPECT_EQ(requests, 1);
}

TEST_F(WebDialogTest, LoadedPageShowsNoScrollBars)
{
    Open("terms", QString::fromStdString(Server.URL("/terms.html")));
    Window->show();
    ASSERT_TRUE(WaitForCompletions(2));
    QWebEnginePage& page = *Window->WebBrowser->page();
    EXPECT_EQ(Evaluate(page, "document.body.style.overflow").toString().toStdString(), "hidden");
    EXPECT_EQ(Evaluate(page, "document.body.innerText").toString().trimmed().toStdString(), "Terms");
    // The content is larger than the window, so scroll bars would show without the style.
    EXPECT_GT(Evaluate(page, "document.body.scrollHeight").toInt(), Window->WebBrowser->height());
}

TEST_F(WebDialogTest, AddressWithoutSchemeIsLoadedOverHttp)
{
    const std::string url = Server.URL("/terms.html");
    Open("terms", QString::fromStdString(url.substr(std::string("http://").size())));
    Window->show();
    ASSERT_TRUE(WaitForCompletions(2));
    EXPECT_EQ(Completions[1].Url.toStdString(), url);
    EXPECT_TRUE(Completions[1].Ok);
}

TEST_F(WebDialogTest, UnreachablePageEndsTheLoadWithoutHanging)
{
    const QString url = QString("http://127.0.0.1:%1/terms.html").arg(test::FreeLoopbackPort());
    Open("terms", url);
    Window->show();
    ASSERT_TRUE(WaitForCompletions(2)) << "the failed load never completed";
    EXPECT_FALSE(Completions[1].Ok);
    EXPECT_TRUE(Window->Initialized);
    QTest::qWait(300);
    EXPECT_EQ(Completions.size(), 2u) << "a failed load must not start another navigation";
    // The window still answers: the page runs scripts and the dialog closes normally.
    EXPECT_EQ(Evaluate(*Window->WebBrowser->page(), "1 + 1").toInt(), 2);
    Window->close();
    EXPECT_FALSE(Window->isVisible());
}

TEST_F(WebDialogTest, ShowWebDialogIsModalSizedAndCentredOnTheOwnersWindow)
{
    QWidget owner;
    owner.setGeometry(100, 100, 900, 700);
    auto* child = new QWidget(&owner); // the control that asks, as a link's check box does
    child->setGeometry(10, 10, 50, 20);
    owner.show();

    QString title;
    QSize clientSize;
    QPoint centre;
    bool modal = false;
    bool loaded = false;
    test::WhenModal([&] {
        auto* dialog = qobject_cast<TForm_IEBrowser*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        modal = true;
        title = dialog->windowTitle();
        clientSize = dialog->size();
        centre = dialog->geometry().center();
        loaded = QTest::qWaitFor([dialog] { return dialog->Initialized; }, LoadTimeoutMs);
        dialog->accept();
    });
    const int result = ShowWebDialog(child, "privacy policy", QString::fromStdString(Server.URL("/terms.html")));

    EXPECT_TRUE(modal) << "no modal web window was shown";
    EXPECT_TRUE(loaded);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(title.toStdString(), "Privacy policy");
    EXPECT_EQ(clientSize, QSize(500, 500));
    EXPECT_LE((centre - owner.geometry().center()).manhattanLength(), 2);
}

/// The login window with and without the browser strip of the client file.
class LoginWindowBrowserStripTest : public ::testing::Test, protected test::TLoginWindowViews
{
protected:
    void SetUp() override
    {
        Server.Answer("/banner.html", nlohmann::json{{"headers", {{"Content-Type", "text/html"}}},
                                                     {"body", "<html><body>News</body></html>"}});
        InstallLoginViews();
    }
    void TearDown() override
    {
        Window.reset();
        ResetViews();
        ConnectionSettings.Clear();
    }

    /// Opens the login window on settings files whose client file has the extra children ClientChildren.
    void Open(const std::string& ClientChildren)
    {
        test::WriteBytes(Dir / "main_loader_settings.xml",
                         "<m update_url=\"u\" application=\"client\"><entry_servers/><languages>"
                         "<item name=\"English\" value=\"en_US\"/></languages></m>");
        test::WriteBytes(Dir / "client_loader_settings.xml",
                         "<c title=\"Orb Trader\"><entries><item name=\"Demo\" value=\"d\"/></entries>" +
                             ClientChildren + "</c>");
        test::WriteBytes(Dir / "user_loader_settings.xml",
                         "<user_loader_settings last_login=\"\" language=\"en_US\"><proxy enabled=\"false\"/>"
                         "<alternate_server/><entries/></user_loader_settings>");
        StartOnSettings(Dir.Path(), false);
    }

    /// The strip element naming the fixture server's page.
    std::string Strip(const std::string& Width, const std::string& Height) const
    {
        return "<browser_window url=\"" + Server.URL("/banner.html") + "\" width=\"" + Width + "\" height=\"" + Height +
               "\"/>";
    }

    test::TFixtureServer Server;
    test::TempDir Dir;
};

TEST_F(LoginWindowBrowserStripTest, StripShowsThePageAboveThePanel)
{
    struct TCase
    {
        std::string Width, Height;
        QSize Client;
        QRect Strip;
        QPoint Panel;
    };
    const TCase cases[] = {
        {"460", "60", {460, 545}, {0, 0, 460, 60}, {0, 60}},
        {"600", "100", {600, 585}, {0, 0, 600, 100}, {70, 100}}, // the panel centred under a wider strip
        {"400", "27", {400, 512}, {0, 0, 400, 27}, {0, 27}},     // the strip's width rules, as configured
        {"", "x", {460, 512}, {0, 0, 460, 27}, {0, 27}},         // no usable size: panel width, design height
    };
    for (const auto& c : cases)
    {
        Open(Strip(c.Width, c.Height));
        ASSERT_NE(Window->WebBrowser, nullptr) << c.Width << "x" << c.Height;
        EXPECT_EQ(Window->WebBrowser->objectName().toStdString(), "WebBrowser");
        EXPECT_EQ(Window->size(), c.Client) << c.Width << "x" << c.Height;
        EXPECT_EQ(Window->WebBrowser->geometry(), c.Strip) << c.Width << "x" << c.Height;
        EXPECT_EQ(Window->Panel_Main->pos(), c.Panel) << c.Width << "x" << c.Height;
        EXPECT_EQ(Window->Panel_Main->height(), 485);
    }

    // The page was requested in Start; the event loop delivers its end once the window runs.
    QWebEngineView& strip = *Window->WebBrowser;
    std::optional<bool> finished;
    QObject::connect(&strip, &QWebEngineView::loadFinished, [&finished](bool Ok) { finished = Ok; });
    Window->show();
    ASSERT_TRUE(QTest::qWaitFor([&finished] { return finished.has_value(); }, LoadTimeoutMs));
    EXPECT_TRUE(*finished);
    EXPECT_EQ(strip.url().toString().toStdString(), Server.URL("/banner.html"));
    EXPECT_EQ(Evaluate(*strip.page(), "document.body.innerText").toString().trimmed().toStdString(), "News");
}

TEST_F(LoginWindowBrowserStripTest, WithoutAPageNoBrowserIsCreated)
{
    for (const std::string children : {"", "<browser_window width=\"460\" height=\"60\"/>",
                                       "<browser_window url=\"  \" width=\"460\" height=\"60\"/>"})
    {
        Open(children);
        EXPECT_EQ(Window->WebBrowser, nullptr) << children;
        EXPECT_TRUE(Window->findChildren<QWebEngineView*>().isEmpty()) << children;
        EXPECT_EQ(Window->size(), QSize(460, 485)) << children;
        EXPECT_EQ(Window->Panel_Main->pos(), QPoint(0, 0)) << children;
    }
}

TEST_F(LoginWindowBrowserStripTest, UnreachablePageLeavesTheWindowUsable)
{
    Open("<browser_window url=\"http://127.0.0.1:" + std::to_string(test::FreeLoopbackPort()) +
         "/banner.html\" width=\"460\" height=\"40\"/>");
    ASSERT_NE(Window->WebBrowser, nullptr);
    std::optional<bool> finished;
    QObject::connect(Window->WebBrowser, &QWebEngineView::loadFinished, [&finished](bool Ok) { finished = Ok; });
    Window->show();
    ASSERT_TRUE(QTest::qWaitFor([&finished] { return finished.has_value(); }, LoadTimeoutMs));
    EXPECT_FALSE(*finished);
    // The login panel still works.
    Window->Edit_Login->setText("someone");
    EXPECT_EQ(Window->Edit_Login->text().toStdString(), "someone");
    EXPECT_EQ(Window->size(), QSize(460, 525));
}

} // namespace
} // namespace orb
