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
/// reports inside them are not ours. Our side of every hand-over uses standard primitives and stays checked.
extern "C" const char* __tsan_default_suppressions()
{
    return "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n";
}

namespace orb::test
{

void WhenModal(std::function<void()> Fn)
{
    QTimer::singleShot(0, qApp, std::move(Fn));
}

} // namespace orb::test
