#include "gui/WebEngineSetup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>

namespace orb
{

namespace
{

/// True when the process runs with the super-user's rights. On Linux the directory /proc/self belongs to the
/// process's effective user; elsewhere it does not exist and the answer is false.
bool RunningAsRoot()
{
    const QFileInfo self("/proc/self");
    return self.exists() && self.ownerId() == 0;
}

} // namespace

void PrepareWebEngine()
{
    // The browser's compositor shares OpenGL contexts with the widgets; Qt wants this before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The browser's sandbox refuses to start for the super-user; a choice made in the environment is kept.
    if (!qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX") && RunningAsRoot())
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    // The browser's start-up dump of its settings is noise for users; QT_LOGGING_RULES still overrides this.
    QLoggingCategory::setFilterRules("qt.webenginecontext.debug=false\nqt.webenginecontext.info=false");
}

} // namespace orb
