#include "update/Unit_Updater.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "base/Views.h"
#include "exception_dialog/SmartException.h"
#include "update/DownloadWriter.h"
#include "update/UpdateCache.h"
#include "update/UpdateErrors.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <thread>

namespace fs = std::filesystem;

namespace orb
{

namespace
{

/// The native path of an index path (segments joined with backslashes, each checked already).
std::string NativePath(const std::string& IndexPath)
{
    std::string out = IndexPath;
    if (fs::path::preferred_separator != '\\')
    {
        for (char& c : out)
        {
            if (c == '\\')
                c = static_cast<char>(fs::path::preferred_separator);
        }
    }
    return out;
}

bool IsUnreservedInPath(unsigned char C)
{
    if ((C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9'))
        return true;
    return std::string_view("-._~!$&'()*+,;=:@").find(static_cast<char>(C)) != std::string_view::npos;
}

/// Whether the platform reports an error as another process holding the file open.
bool IsSharingViolation(const EOSError& E)
{
#ifdef _WIN32
    return E.ErrorCode == 32; // ERROR_SHARING_VIOLATION
#else
    (void)E;
    return false; // POSIX file systems do not lock files against changes of their times
#endif
}

} // namespace

std::string ProgressText(int64_t Done, int64_t Size)
{
    return std::to_string(Done / 1024) + " of " + std::to_string(Size / 1024 + 1) + " KB";
}

int ProgressPosition(int64_t Done, int64_t Size)
{
    if (Size <= 0)
        return 0;
    // nearbyint rounds halves to even in the default rounding mode.
    double position = std::nearbyint(static_cast<double>(Done) * 100.0 / static_cast<double>(Size));
    return static_cast<int>(std::clamp(position, 0.0, 100.0));
}

std::string DownloadAddress(const std::string& Base, const std::string& FileName)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out = Base;
    for (unsigned char c : FileName)
    {
        if (c == '\\')
            out += '/';
        else if (IsUnreservedInPath(c))
            out += static_cast<char>(c);
        else
        {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

TUpdateThread::TUpdateThread(const TProxySettings& Proxy)
{
    HTTP.SetCompression(true);
    UseProxy(HTTP, Proxy);
}

TUpdateThread::~TUpdateThread()
{
    // Here rather than in the base: the thread uses HTTP and the other members of this class.
    Terminate();
    HTTP.Abort();
    WaitFor();
}

void TUpdateThread::Start()
{
    TWorker::Start([this] { Execute(); }, [this] { HandOver(); });
}

void TUpdateThread::Execute()
{
    try
    {
        MainThread().Synchronize([] { orb::UpdateProgress().SetLoginWindowVisible(false); });
        std::string total = UpdateConfig->Attributes("total_update_size");
        if (!TryStrToInt64(total, TotalSize))
            throw EConvertError("Wrong value for field \"total_update_size\" : \"" + total + "\"");
        TotalDownloadedBytes = 0;
        FLocalDir = UpdateConfig->Attributes("local_name");
        // Without it every path would be taken relative to the current directory.
        if (FLocalDir.empty())
            throw Exception("The update index names no installation directory (local_name)");
        UpdateDirectory("", *UpdateConfig);
    }
    catch (const EHTTPProtocolException& e)
    {
        // A status error is reported with the whole answer and the address in its details; the stack saved is the
        // one the status error was thrown with.
        SaveExceptionCallStack(e);
        ESmartException smart("TApplication", std::current_exception());
        smart.Details = e.RawHeaders + "\r\n" + e.ErrorMessage + "\r\n\r\nURL: " + HTTP.URL.URL_String();
        RaisedException = std::make_exception_ptr(smart);
    }
}

void TUpdateThread::HandOver()
{
    // One hand-over for both: once the window is closed the user-interface thread leaves its modal loop and waits
    // for this thread, so a second hand-over would never be served.
    std::optional<TProgressState> pending = std::move(FPendingReport);
    FPendingReport.reset();
    if (pending)
        UpdateProgress(*pending);
    if (OnFinished)
        OnFinished();
    orb::UpdateProgress().SetLoginWindowVisible(true);
}

void TUpdateThread::UpdateDirectory(const std::string& Prefix, const xml::IXMLNode& Node)
{
    for (const auto& child : xml::ChildElements(Node))
    {
        // A cancel between two downloads stops the update as one during a download does: the installation must
        // not be taken as complete.
        if (Terminated())
            throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
        std::string tag = child->NodeName();
        std::string name = child->Attributes("name");
        if (tag == "file")
        {
            FileName = Prefix + name;
            if (!child->HasAttribute("need_for_update"))
                continue;
            CheckSegmentName(name, FileName);
            CheckSegmentName(LocalFileName(name, true), FileName);
            FileSize = ReadIndexSize(*child);
            if (FileSize < 1)
                throw Exception("File size of \"" + FileName + "\" is " + std::to_string(FileSize));
            TIndexTime modified = ReadIndexModified(*child);
            const std::string sha256 = ReadIndexSha256(*child, FileName);
            const std::string stored = DownloadFile(FileName, child->HasAttribute("private"), modified, sha256);
            // A gunzipped file differs from what was published: its own hash is kept in the saved index, so that
            // a later installation can check a copy of it.
            if (!stored.empty() && stored != sha256)
                child->SetAttribute(StoredSha256Attribute, stored);
        }
        else if (tag == "directory")
        {
            FileName = Prefix + name;
            CheckSegmentName(name, FileName);
            std::error_code ec;
            // A directory that cannot be made shows up as the first download into it failing.
            fs::create_directory(FLocalDir + NativePath(FileName), ec);
            UpdateDirectory(FileName + "\\", *child);
        }
        else
            throw Exception("UpdateDirectory: Unknown node name: " + tag);
    }
}

std::string TUpdateThread::DownloadFile(const std::string& Name, bool Private, const TIndexTime& Modified,
                                        const std::string& Sha256)
{
    DownloadedBytes = 0;
    ReportProgress(true);
    // A cancel pressed during that hand-over would be lost when the request starts.
    if (Terminated())
        throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
    HTTP.URL.SetURL(DownloadAddress(Private ? PrivateDownloadURL : DownloadURL, Name));

    std::string localName = LocalFileName(Name, true);
    fs::path target = FLocalDir + NativePath(localName);
    TDownloadWriter writer(target, localName != Name);
    if (!Sha256.empty())
        writer.ExpectSha256(Sha256, Name, &FHashes);

    // The body of a successful answer goes to the file as it arrives, content coding already decoded, so memory
    // does not grow with the file; an error answer stays with the provider for the report. Progress counts the
    // bytes as they came over the wire.
    int64_t received = 0;
    HTTP.OnData = [&](const char* Data, size_t Size) {
        received += static_cast<int64_t>(Size);
        // A body longer than the index says is not the published file: stop reading it at once.
        if (received > FileSize)
            throw EBadSize("The download of \"" + Name + "\" has at least " + std::to_string(received) +
                           " bytes, the update index says " + std::to_string(FileSize) + ".");
        writer.Write(std::string_view(Data, Size));
    };
    HTTP.HTTP_Client.OnWork = [&](int64_t BytesReceived) {
        DownloadedBytes = BytesReceived;
        ReportProgress(false);
    };
    struct TResetHooks
    {
        THTTPDataProvider& Provider;
        ~TResetHooks()
        {
            Provider.OnData = nullptr;
            Provider.HTTP_Client.OnWork = nullptr;
        }
    } resetHooks{HTTP};

    std::string data;
    HTTP.GetString(data);
    if (received != FileSize)
        throw EBadSize("The download of \"" + Name + "\" has " + std::to_string(received) +
                       " bytes, the update index says " + std::to_string(FileSize) + ".");
    writer.Finish();
    SetFileTimeRetrying(target, RoundToDosTime(Modified));
    FPendingReport = CurrentProgress();
    TotalDownloadedBytes += FileSize;
    return writer.StoredSha256();
}

void TUpdateThread::SetFileTimeRetrying(const fs::path& Target, const TIndexTime& Modified)
{
    for (int attempt = 1;; ++attempt)
    {
        try
        {
            SetLocalFileTime(Target, Modified);
            return;
        }
        catch (const EOSError& e)
        {
            if (!IsSharingViolation(e) || attempt >= 20)
                throw;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
}

void TUpdateThread::ReportProgress(bool Force)
{
    auto now = std::chrono::steady_clock::now();
    if (!Force && now - FLastReport < ProgressInterval)
        return; // a throttled report costs nothing: the worker does not wait for the window
    FLastReport = now;
    TProgressState state = CurrentProgress();
    std::optional<TProgressState> pending = std::move(FPendingReport);
    FPendingReport.reset();
    MainThread().Synchronize([&] {
        if (pending)
            UpdateProgress(*pending);
        UpdateProgress(state);
    });
}

TUpdateThread::TProgressState TUpdateThread::CurrentProgress() const
{
    return {FileName, DownloadedBytes, FileSize, TotalDownloadedBytes, TotalSize};
}

void TUpdateThread::UpdateProgress(const TProgressState& State)
{
    IUpdateProgress& view = orb::UpdateProgress();
    view.SetUpdatingFile(State.FileName);
    view.SetFileProgress(ProgressText(State.DownloadedBytes, State.FileSize),
                         ProgressPosition(State.DownloadedBytes, State.FileSize));
    int64_t done = State.TotalDownloadedBytes + State.DownloadedBytes;
    view.SetTotalProgress(ProgressText(done, State.TotalSize), ProgressPosition(done, State.TotalSize));
}

void TUpdateRunner::UpdateComponents(const xml::IXMLNodePtr& UpdateConfig, const std::string& DownloadURL,
                                     const std::string& PrivateDownloadURL, const TProxySettings& Proxy)
{
    TUpdateThread worker(Proxy);
    worker.UpdateConfig = UpdateConfig;
    worker.DownloadURL = DownloadURL;
    worker.PrivateDownloadURL = PrivateDownloadURL;
    worker.ProgressInterval = ProgressInterval;
    worker.OnFinished = [this] {
        NaturalClosing = true;
        ModalWait().Close(TWaitWindow::wwUpdater);
    };
    NaturalClosing = false;
    FWorker = &worker;
    worker.Start();
    try
    {
        ModalWait().ShowModal(TWaitWindow::wwUpdater, [this] { Button_CancelClick(); });
    }
    catch (...)
    {
        FWorker = nullptr;
        throw;
    }
    worker.WaitFor();
    FWorker = nullptr;
    if (worker.RaisedException)
        std::rethrow_exception(worker.RaisedException);
}

void TUpdateRunner::Button_CancelClick()
{
    if (FWorker)
    {
        FWorker->Terminate();
        FWorker->HTTP.Abort();
    }
}

} // namespace orb
