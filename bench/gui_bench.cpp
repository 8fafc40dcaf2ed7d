// Start-up cost of the login window's browser strip. Each round starts this program twice as a child that opens
// the login window offscreen and ends: once on settings without a strip (the baseline) and once with a strip
// showing a local page; the children alternate so that both see the same machine load. Counters: the median wall
// times of both and their ratio, for the window first painted and, with the strip, for its page loaded as well.

#include "base/Views.h"
#include "gui/QtViews.h"
#include "gui/Unit_Orb_Loader.h"
#include "gui/Unit_Progress.h"
#include "gui/Unit_Updater.h"
#include "gui/WebEngineSetup.h"
#include "launcher/LoaderSettings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace
{

using namespace orb;

/// The child: opens the login window on the settings in Dir and quits at the end point named by Mode ("painted"
/// or "loaded").
int RunChild(int argc, char** argv, const char* Mode, const char* Dir)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareWebEngine();
    QApplication application(argc, argv);
    TLauncherSession session(Dir, false);
    TQtMainThread mainThread;
    TForm_Orb_Loader window(session);
    TForm_Updater updater;
    TForm_Progress progress;
    TQtDialogs dialogs(nullptr);
    TQtWaitWindows waits(progress, updater);
    InstallViews(TViews{&mainThread, &dialogs, &waits, &updater});
    session.Start();
    window.Start();

    struct TPaintWatch : QObject
    {
        bool eventFilter(QObject* Watched, QEvent* Event) override
        {
            if (Event->type() == QEvent::Paint)
                QTimer::singleShot(0, qApp, &QApplication::quit);
            return QObject::eventFilter(Watched, Event);
        }
    } paintWatch;
    if (std::strcmp(Mode, "loaded") == 0)
    {
        if (!window.WebBrowser)
            return 2;
        QObject::connect(window.WebBrowser, &QWebEngineView::loadFinished, qApp, &QApplication::quit);
    }
    else
        window.installEventFilter(&paintWatch);
    window.show();
    const int result = application.exec();
    ResetViews();
    return result;
}

/// Settings directories with and without a strip, made once per process.
struct TSettings
{
    TSettings()
    {
        const QString page = Dir.filePath("banner.html");
        Write(page, "<html><body style=\"margin:0;background:#1c4f8c;color:white\">News of the day</body></html>");
        for (const bool strip : {false, true})
        {
            const QString dir = Dir.filePath(strip ? "strip" : "none");
            QDir().mkpath(dir);
            Write(dir + "/main_loader_settings.xml",
                  "<m update_url=\"u\" application=\"client\"><entry_servers/>"
                  "<languages><item name=\"English\" value=\"en_US\"/></languages></m>");
            const QString browser = strip ? "<browser_window url=\"" + QUrl::fromLocalFile(page).toString() +
                                                "\" width=\"460\" height=\"60\"/>"
                                          : QString();
            Write(dir + "/client_loader_settings.xml",
                  "<c title=\"Orb Trader\"><entries><item name=\"Demo\" value=\"d\"/></entries>" + browser + "</c>");
            Write(dir + "/user_loader_settings.xml",
                  "<user_loader_settings last_login=\"\" language=\"en_US\"><proxy enabled=\"false\"/>"
                  "<alternate_server/><entries/></user_loader_settings>");
        }
    }
    static void Write(const QString& Path, const QString& Text)
    {
        QFile file(Path);
        if (!file.open(QIODevice::WriteOnly) || file.write(Text.toUtf8()) < 0)
            std::fprintf(stderr, "gui_bench: cannot write %s\n", qPrintable(Path));
    }
    QTemporaryDir Dir;
};

QString GSelf;

/// Runs one child and returns its wall time in milliseconds (negative when it failed).
double TimeChild(const char* Mode, const QString& Dir)
{
    QProcess child;
    // The browser engine's start-up messages would drown the table.
    child.setStandardOutputFile(QProcess::nullDevice());
    child.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    child.start(GSelf, {"--child", Mode, Dir});
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return -1;
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> Values)
{
    std::sort(Values.begin(), Values.end());
    return Values.empty() ? 0 : Values[Values.size() / 2];
}

/// One child without a strip and one with it per round, up to the given end point of the strip's child.
void Compare(benchmark::State& State, const char* StripEndPoint)
{
    static TSettings settings;
    std::vector<double> none;
    std::vector<double> strip;
    for (auto _ : State)
    {
        const double a = TimeChild("painted", settings.Dir.filePath("none"));
        const double b = TimeChild(StripEndPoint, settings.Dir.filePath("strip"));
        if (a < 0 || b < 0)
        {
            State.SkipWithError("a child did not open the login window");
            return;
        }
        none.push_back(a);
        strip.push_back(b);
        State.SetIterationTime((a + b) / 1000);
    }
    State.counters["none_ms"] = Median(none);
    State.counters["strip_ms"] = Median(strip);
    State.counters["ratio"] = Median(strip) / Median(none);
}

/// The window painted, with and without the strip (the strip's page may still be loading).
void BM_LoginWindowPaintedStripVsNone(benchmark::State& State)
{
    Compare(State, "painted");
}
BENCHMARK(BM_LoginWindowPaintedStripVsNone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

/// The strip's page loaded, beside the window without a strip painted.
void BM_LoginWindowStripLoadedVsNone(benchmark::State& State)
{
    Compare(State, "loaded");
}
BENCHMARK(BM_LoginWindowStripLoadedVsNone)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--child") == 0)
        return RunChild(argc, argv, argv[2], argv[3]);
    // The children find this program by its own path; the application object also serves the process handling.
    int qtArgc = 1;
    QCoreApplication application(qtArgc, argv);
    GSelf = QCoreApplication::applicationFilePath();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
