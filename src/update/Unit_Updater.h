#pragma once

#include "exception_dialog/Worker.h"
#include "net/HTTPDataProvider.h"
#include "net/ProxySettings.h"
#include "update/IndexTime.h"
#include "update/UpdateTrust.h"
#include "xml/VuvareXMLNode.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <optional>
#include <string>

namespace orb
{

/// "<done div 1024> of <size div 1024 + 1> KB": the progress text of the update window.
std::string ProgressText(int64_t Done, int64_t Size);
/// Done / Size x 100 rounded to the nearest integer, halves to even, kept within 0 to 100.
int ProgressPosition(int64_t Done, int64_t Size);
/// The download address of a file: Base followed by the index path (backslash-separated) as a URL path, each
/// segment percent-encoded where a URL would otherwise change its meaning (spaces, "#", "?", "%", non-ASCII).
std::string DownloadAddress(const std::string& Base, const std::string& FileName);

/// The worker that downloads every file the cache check marked with `need_for_update`, writes it into the
/// installation directory with the index's time stamp, and reports progress to the update window.
class TUpdateThread : public TWorker
{
public:
    /// A suspended worker whose downloads go through Proxy when it is enabled.
    explicit TUpdateThread(const TProxySettings& Proxy = {});
    /// Asks the worker to stop, aborts its request and waits for its end.
    ~TUpdateThread();
    TUpdateThread(const TUpdateThread&) = delete;
    TUpdateThread& operator=(const TUpdateThread&) = delete;

    /// Runs Execute on a thread of its own; the end is handed over to the user-interface thread through OnFinished.
    /// Terminate asks the worker to stop before the next index entry; the failure ends in RaisedException.
    void Start();

    /// The thread body: the downloads.
    void Execute();

    /// Relative path (backslash-separated, as in the index) of the entry being processed.
    std::string FileName;
    /// `size` of the file being downloaded.
    int64_t FileSize = 0;
    /// `total_update_size` of the index root.
    int64_t TotalSize = 0;
    /// Bytes transferred so far for the current file.
    int64_t DownloadedBytes = 0;
    /// Sum of `size` of all completed files.
    int64_t TotalDownloadedBytes = 0;
    /// Performs the downloads.
    THTTPDataProvider HTTP;
    /// Base address of the public files, ending with "/".
    std::string DownloadURL;
    /// Base address of files marked `private`, ending with "/"; empty when there is none.
    std::string PrivateDownloadURL;
    /// Root of the merged index after the cache check.
    xml::IXMLNodePtr UpdateConfig;
    /// Run on the user-interface thread at the very end, before the login window is shown again: the window sets
    /// its NaturalClosing and closes.
    std::function<void()> OnFinished;
    /// Shortest time between two progress reports within a file (the first and last of a file always go out).
    std::chrono::milliseconds ProgressInterval{33};

private:
    void UpdateDirectory(const std::string& Prefix, const xml::IXMLNode& Node);
    /// Returns the SHA-256 of the stored content when Sha256 (the published file's) is given, else "".
    std::string DownloadFile(const std::string& Name, bool Private, const TIndexTime& Modified,
                             const std::string& Sha256);
    /// What one report shows.
    struct TProgressState
    {
        std::string FileName;
        int64_t DownloadedBytes, FileSize, TotalDownloadedBytes, TotalSize;
    };
    TProgressState CurrentProgress() const;
    static void UpdateProgress(const TProgressState& State);
    void ReportProgress(bool Force);
    void SetFileTimeRetrying(const std::filesystem::path& Target, const TIndexTime& Modified);
    void HandOver();

    std::string FLocalDir;
    /// Hashes the downloads beside the writing, one file after another.
    TSha256Pipeline FHashes;
    std::chrono::steady_clock::time_point FLastReport;
    /// The report at the end of a file, handed over together with the next one (one hand-over per file).
    std::optional<TProgressState> FPendingReport;
};

/// What the update window does with the worker: starts it, waits modally, passes Cancel on, and raises its failure.
class TUpdateRunner
{
public:
    /// Runs the whole update of UpdateConfig (after the cache check) behind the modal update window; returns when
    /// the worker has finished and raises its failure, a cancellation as EHTTPDataProvider with httpAborted.
    void UpdateComponents(const xml::IXMLNodePtr& UpdateConfig, const std::string& DownloadURL,
                          const std::string& PrivateDownloadURL, const TProxySettings& Proxy = {});
    /// Asks the worker to terminate, then aborts its request (user-interface thread).
    void Button_CancelClick();
    /// Closing the window is allowed only when the worker itself closes it.
    bool FormCloseQuery() const { return NaturalClosing; }

    /// True only when the worker closes the window.
    std::atomic<bool> NaturalClosing{false};
    /// Shortest time between two progress reports of the worker.
    std::chrono::milliseconds ProgressInterval{33};
    /// Connections of the download pool, 1 to 16.
    int Connections = 4;

private:
    TUpdateThread* FWorker = nullptr;
};

} // namespace orb
