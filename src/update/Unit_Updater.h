#pragma once

#include "exception_dialog/Worker.h"
#include "net/CurlTransfer.h"
#include "net/HTTPDataProvider.h"
#include "net/ProxySettings.h"
#include "update/DownloadWriter.h"
#include "update/IndexTime.h"
#include "update/UpdateTrust.h"
#include "xml/VuvareXMLNode.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

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
/// installation directory with the index's time stamp, and reports progress to the update window. Up to Connections
/// files travel at once over one libcurl multi handle whose connections are reused for the whole update; a
/// connection failure, a stall or a 502/504 answer is tried again, and a file whose download was interrupted
/// continues where it stopped (Range with If-Range) when the server supports it.
class TUpdateThread : public TWorker
{
public:
    /// A suspended worker whose downloads go through Proxy when it is enabled.
    explicit TUpdateThread(const TProxySettings& Proxy = {});
    /// Asks the worker to stop, aborts its requests and waits for its end.
    ~TUpdateThread();
    TUpdateThread(const TUpdateThread&) = delete;
    TUpdateThread& operator=(const TUpdateThread&) = delete;

    /// Runs Execute on a thread of its own; the end is handed over to the user-interface thread through OnFinished.
    /// Terminate asks the worker to stop before the next index entry; the failure ends in RaisedException.
    void Start();

    /// The thread body: the downloads.
    void Execute();
    /// Asks the worker to stop; ends every transfer in flight and a wait between two attempts at once. Any thread.
    void Cancel();

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
    /// Files downloaded at once, each on a connection of its own (1 to 16; 1 downloads one after another).
    int Connections = 4;
    /// Attempts per file when the connection fails or stalls or the server answers 502 or 504.
    int RetryAttempts = 3;
    /// The wait before the second attempt of a file; it doubles for every further one, give or take a quarter.
    std::chrono::milliseconds RetryDelay{500};

private:
    struct TJob;
    struct TSlot;
    /// Checks the entries below Node and collects the files to download; creates the directories.
    void UpdateDirectory(const std::string& Prefix, const xml::IXMLNode& Node, std::vector<TJob>& Jobs);
    void RunDownloads(std::vector<TJob>& Jobs);
    void StartJob(TSlot& Slot, TJob& Job);
    void ReceiveBody(TSlot& Slot, const char* Data, size_t Size);
    void CompleteJob(TSlot& Slot);
    /// What happens after a failed attempt: true when the file is queued again, false when the update fails.
    bool RetryAfter(TSlot& Slot, const std::exception_ptr& Error);
    void ReleaseSlot(TSlot& Slot);
    /// Writes the side file that lets a later update continue the slot's part, when its answer named a validator.
    void SaveResumeInfoOf(TSlot& Slot);
    /// What one report shows.
    struct TProgressState
    {
        std::string FileName;
        int64_t DownloadedBytes, FileSize, TotalDone, TotalSize;
    };
    TProgressState CurrentProgress() const;
    static void UpdateProgress(const TProgressState& State);
    void ReportProgress(bool Force);
    void SetFileTimeRetrying(const std::filesystem::path& Target, const TIndexTime& Modified);
    void HandOver();

    std::string FLocalDir;
    std::chrono::steady_clock::time_point FLastReport;
    /// The reports of completed files, handed over together with the next one (no hand-over of their own).
    std::vector<TProgressState> FPendingReports;
    /// The multi handle all downloads run on; its connection cache keeps the connections for the whole update.
    TCurlMulti FPool;
    /// Guards FExtra against Cancel from the user-interface thread.
    std::mutex FSlotsLock;
    /// The providers of the connections beyond the first (HTTP), configured like it.
    std::vector<std::unique_ptr<THTTPDataProvider>> FExtra;
    std::vector<TSlot> FSlots;
    /// Writes (and hashes) the downloads beside the network.
    TWriteBehind FWrites;
    /// The file started last: the window's file label and bar follow it.
    const TJob* FLatest = nullptr;
    /// The address and the attempts of the file whose failure ended the update, for the report.
    std::string FFailedAddress;
    std::string FAttemptLog;
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
    /// Files downloaded at once (the main settings file's download_connections).
    int Connections = 4;
    /// The wait before a file's second attempt (doubling for every further one).
    std::chrono::milliseconds RetryDelay{500};

private:
    TUpdateThread* FWorker = nullptr;
};

} // namespace orb
