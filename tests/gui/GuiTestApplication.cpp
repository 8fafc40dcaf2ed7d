#include "GuiTestApplication.h"

#include "gui/WebEngineSetup.h"

#include <QApplication>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace orb::test
{

namespace
{

/// The one application object of the test process, made before the first test and kept to the end.
class TQtEnvironment : public ::testing::Environment
{
public:
    void SetUp() override
    {
        // Widget tests never need a display; a screen given from outside (QT_QPA_PLATFORM) is still honoured.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        orb::PrepareWebEngine();
        static int argc = 1;
        static char name[] = "gui_tests";
        static char* argv[] = {name, nullptr};
        FApplication = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName("Orb_Loader");
    }
    void TearDown() override { FApplication.reset(); }

private:
    std::unique_ptr<QApplication> FApplication;
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

} // namespace

} // namespace orb::test

/// Qt's own libraries are not built for the thread checker: their internal locks are invisible to it, so races it
/// reports inside them are not ours. Our side of every hand-over uses standard primitives and stays checked. The same
/// holds for the browser engine (Chromium's threads synchronise in ways the checker cannot see) with the system
/// libraries its threads use, and for GLib, whose allocator the event loops of Qt's internal threads share. The
/// engine also calls the standard library's string code instantiated (and instrumented) in this program, so races
/// with one of its frames on the stack are exempt too, and so are the engine's own threads still running at exit.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6WebEngineCore.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           "called_from_lib:libevent-2.1.so.7\n"
           "called_from_lib:libfontconfig.so.1\n"
           "race:libQt6WebEngineCore.so.6\n"
           "thread:libQt6WebEngineCore.so.6\n";
}

/// The embedded browser (Qt WebEngine, built on Chromium) frees some of its own objects through a base class of another
/// size, which AddressSanitizer reports as a new-delete type mismatch inside libQt6WebEngineCore before any test
/// fails; the library is not ours and is not instrumented, so that one check is off in this program. Every other
/// check stays on, and the libraries below the windows keep the mismatch check in their own test programs. An
/// ASAN_OPTIONS given in the environment still overrides these defaults.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

/// The browser engine keeps process-wide objects (its threads' state, font caches it fills through fontconfig) to the
/// end of the process by design; the leak checker would count them at exit. Only allocations made inside those two
/// libraries are exempt: a leak of ours still shows, unless the engine itself called the code that leaked.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libQt6WebEngineCore.so\n"
           "leak:libfontconfig.so\n";
}

namespace orb::test
{

void WhenModal(std::function<void()> Fn)
{
    QTimer::singleShot(0, qApp, std::move(Fn));
}

} // namespace orb::test
