#include "update/Installation.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "base/Views.h"
#include "exception_dialog/Worker.h"
#include "localisation/Unit_Language.h"
#include "platform/AppDirectory.h"
#include "platform/Paths.h"
#include "update/Archives.h"
#include "update/UpdateCache.h"
#include "update/UpdateErrors.h"
#include "xml/XML_Utils.h"

#include <condition_variable>
#include <exception>
#include <mutex>

namespace fs = std::filesystem;

namespace orb
{

platform::TFileLock LockInstallations(const fs::path& AppDir)
{
    const fs::path path = AppDir / UpdateLockFileName;
    platform::TFileLock lock;
    if (lock.TryLock(path))
        return lock;

    // The holder may be a launcher of another process or another window; there is no signal when it ends, so the
    // lock is tried again now and then until it comes free or the user gives up.
    // Asked before the waiter starts, so that a missing view fails here instead of leaving a waiter behind.
    MainThread();
    IModalWait& modalWait = ModalWait();
    IUpdateProgress& view = UpdateProgress();
    std::mutex mutex;
    std::condition_variable wake;
    bool cancelled = false;
    TWorker waiter;
    waiter.Start(
        [&] {
            std::unique_lock guard(mutex);
            while (!cancelled)
            {
                guard.unlock();
                const bool locked = lock.TryLock(path);
                guard.lock();
                if (locked || wake.wait_for(guard, std::chrono::milliseconds(200), [&] { return cancelled; }))
                    break;
            }
        },
        [&] { modalWait.Close(TWaitWindow::wwUpdater); });
    try
    {
        view.SetUpdatingFile(UpdateMessage("WaitingForOtherLauncher", WaitingForOtherLauncherMessage));
        view.SetFileProgress("", 0);
        view.SetTotalProgress("", 0);
        modalWait.ShowModal(TWaitWindow::wwUpdater, [&] {
            std::lock_guard guard(mutex);
            cancelled = true;
            wake.notify_all();
        });
    }
    catch (...)
    {
        {
            std::lock_guard guard(mutex);
            cancelled = true;
            wake.notify_all();
        }
        waiter.WaitFor();
        throw;
    }
    waiter.WaitFor();
    if (waiter.RaisedException)
        std::rethrow_exception(waiter.RaisedException);
    if (cancelled)
        throw EInformationException(UpdateMessage("OtherLauncherUpdating", OtherLauncherUpdatingMessage));
    return lock;
}

void CompleteInstallation(const fs::path& Dir, const xml::IXMLNodePtr& Index, const TFlushToDisk& Flush)
{
    ExtractArchives(Dir);
    Flush(Dir);
    // Written last: an installation without its index is incomplete, is filled again by the next check and is never
    // started off-line.
    xml::SaveIXMLNodeToFile(Dir / "index.xml", Index, xml::enUTF8);
}

std::string UpdateInstallation(const xml::IXMLNodePtr& Index, TUpdateRunner& Runner, const std::string& DownloadURL,
                               const std::string& PrivateDownloadURL, const TProxySettings& Proxy,
                               const fs::path& AppDir, const fs::path& OldLayoutDir, const TFlushToDisk& Flush)
{
    // Held from the check to the saved index: a second launcher then finds this one's result, and pruning never
    // removes an installation another launcher is filling.
    platform::TFileLock lock = LockInstallations(AppDir);
    bool isNewInstallation = false;
    CheckUpdateCache(Index, isNewInstallation, AppDir, OldLayoutDir);
    const std::string directory = Index->Attributes("local_name");
    int64_t remaining = 0;
    if (TryStrToInt64(Index->Attributes("total_update_size"), remaining) && remaining > 0)
        Runner.UpdateComponents(Index, DownloadURL, PrivateDownloadURL, Proxy);
    if (isNewInstallation)
        CompleteInstallation(platform::Utf8ToPath(directory), Index, Flush);
    return directory;
}

std::string UpdateInstallation(const xml::IXMLNodePtr& Index, TUpdateRunner& Runner, const std::string& DownloadURL,
                               const std::string& PrivateDownloadURL, const TProxySettings& Proxy)
{
    std::error_code ec;
    fs::path current = fs::current_path(ec);
    if (ec)
        RaiseOSError(ec, ".");
    return UpdateInstallation(Index, Runner, DownloadURL, PrivateDownloadURL, Proxy, GetAppDirectory(), current);
}

} // namespace orb
