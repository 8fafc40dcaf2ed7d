#include "update/Unit_Updater.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "base/Views.h"
#include "exception_dialog/SmartException.h"
#include "platform/SafeFiles.h"
#include "update/DirectoryUtils.h"
#include "update/DownloadWriter.h"
#include "update/UpdateCache.h"
#include "update/UpdateErrors.h"
#include "update/UpdateTrust.h"
#include "xml/XML_Utils.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <filesystem>
#include <random>
#include <thread>
#include <utility>

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

/// One file to download and where its attempts stand.
struct TUpdateThread::TJob
{
    xml::IXMLNodePtr Node;
    /// The index path, with any ".gz" suffix.
    std::string Name;
    std::string Address;
    fs::path Target;
    bool Gunzip = false;
    int64_t Size = 0;
    TIndexTime Modified;
    std::string Sha256;

    int Attempt = 0;
    /// One line per failed attempt.
    std::string Log;
    std::chrono::steady_clock::time_point NotBefore;
    /// Bytes of the file on disk so far, for the progress.
    int64_t Received = 0;
    bool Running = false;
    /// The content on disk continues an earlier download (this run's or an interrupted one's).
    bool Resumed = false;
    /// The next attempt starts from zero: the partial file proved unusable.
    bool FromZero = false;
    /// A resumed file whose hash did not match was fetched once more from zero.
    bool RefetchedWhole = false;
};

/// One connection of the pool and the download it carries.
struct TUpdateThread::TSlot
{
    THTTPDataProvider* HTTP = nullptr;
    TJob* Job = nullptr;
    std::unique_ptr<TDownloadWriter> Writer;
    /// Bytes of the partial file the request asked to continue after (0: the whole file was asked for).
    int64_t Have = 0;
    bool BodyStarted = false;
    /// The validator of the whole answer being written; "" when its part could not be continued later.
    std::string Validator;
    /// The side file that lets a later update continue this part has been written (or was there already).
    bool ResumeInfoSaved = false;
};

namespace
{

/// The answer to a resumed request was no usable continuation: the file starts again from zero at once.
ORB_DECLARE_EXCEPTION(ERestartDownload, Exception)

/// Files from this size on get the side file that lets a later update continue them as soon as their answer starts,
/// so that even a killed process leaves a part that can be continued. Smaller ones get it only when their download
/// is abandoned (a cancel, a broken connection): most files of an update are small, and writing and removing a side
/// file for each would cost more than fetching one of them again.
constexpr int64_t ResumeInfoFrom = 256 * 1024;

/// The side file beside a partial download: the address and the validator (strong ETag or Last-Modified) of the
/// answer whose first part the partial file holds. Its name ends with the reserved suffix, and the name it extends
/// does too, so no index entry can collide with it.
fs::path ResumeInfoName(const fs::path& Target)
{
    return TemporaryNameBeside(TemporaryNameBeside(Target));
}

/// Removes the partial file of Target and its side file.
void ForgetPartial(const fs::path& Target)
{
    std::error_code ec;
    fs::remove(TemporaryNameBeside(Target), ec);
    fs::remove(ResumeInfoName(Target), ec);
}

/// Where a download of Target from Address may continue: the size of the partial file and the validator to send
/// with If-Range; nullopt when there is nothing usable to continue.
std::optional<std::pair<int64_t, std::string>> ResumePoint(const fs::path& Target, const std::string& Address,
                                                           int64_t Size)
{
    std::error_code ec;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> info(platform::OpenRegularFile(ResumeInfoName(Target), ec),
                                                         &std::fclose);
    if (!info)
        return std::nullopt;
    char buffer[4096];
    const size_t n = std::fread(buffer, 1, sizeof buffer, info.get());
    const std::string text(buffer, n);
    const auto newline = text.find('\n');
    if (newline == std::string::npos || text.substr(0, newline) != Address || !text.ends_with("\n"))
        return std::nullopt;
    std::string validator = text.substr(newline + 1, text.size() - newline - 2);
    if (validator.empty() || validator.find_first_of("\r\n") != std::string::npos)
        return std::nullopt;
    const fs::path partial = TemporaryNameBeside(Target);
    if (!fs::is_regular_file(fs::symlink_status(partial, ec)))
        return std::nullopt;
    const auto have = static_cast<int64_t>(fs::file_size(partial, ec));
    if (ec || have <= 0 || have >= Size)
        return std::nullopt;
    return std::make_pair(have, std::move(validator));
}

/// Records the validator of the answer whose body now goes into Target's partial file; false when it cannot be
/// written (the partial file is then not kept).
bool SaveResumeInfo(const fs::path& Target, const std::string& Address, const std::string& Validator)
{
    std::error_code ec;
    fs::path name;
    std::FILE* f = CreateTemporaryBeside(TemporaryNameBeside(Target), name, ec);
    if (!f)
        return false;
    const std::string text = Address + "\n" + Validator + "\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written)
    {
        fs::remove(name, ec);
        return false;
    }
    return true;
}

/// The validator If-Range may carry for an answer: a strong ETag, else Last-Modified; "" for none.
std::string ValidatorOf(const THTTPResponse& Response)
{
    std::string etag = Response.Header("ETag");
    if (!etag.empty() && !etag.starts_with("W/"))
        return etag;
    return Response.Header("Last-Modified");
}

int StatusOfLine(const std::string& StatusLine)
{
    const auto space = StatusLine.find(' ');
    return space == std::string::npos ? 0 : StrToIntDef(StatusLine.substr(space + 1, 3), 0);
}

/// Whether Content-Range says the answer holds exactly the bytes from Have to the end of a file of Size bytes.
bool ContinuesAt(const std::string& ContentRange, int64_t Have, int64_t Size)
{
    return ContentRange ==
           "bytes " + std::to_string(Have) + "-" + std::to_string(Size - 1) + "/" + std::to_string(Size);
}

template <class E> bool Is(const std::exception_ptr& Error)
{
    try
    {
        std::rethrow_exception(Error);
    }
    catch (const E&)
    {
        return true;
    }
    catch (...)
    {
        return false;
    }
}

std::string MessageOf(const std::exception_ptr& Error)
{
    try
    {
        std::rethrow_exception(Error);
    }
    catch (const std::exception& e)
    {
        return e.what();
    }
    catch (...)
    {
        return "unknown error";
    }
}

/// The status code of an HTTP status error; 0 for any other failure.
int StatusOf(const std::exception_ptr& Error)
{
    try
    {
        std::rethrow_exception(Error);
    }
    catch (const EHTTPProtocolException& e)
    {
        return e.ErrorCode;
    }
    catch (...)
    {
        return 0;
    }
}

/// Failures that another attempt may not meet: the connection broke, stalled or could not be made, or a gateway
/// answered 502 or 504.
bool IsTransient(const std::exception_ptr& Error)
{
    try
    {
        std::rethrow_exception(Error);
    }
    catch (const EConnectionClosed&)
    {
        return true;
    }
    catch (const EReadTimeout&)
    {
        return true;
    }
    catch (const ESocketError&)
    {
        return true;
    }
    catch (const EConnectTimeout&)
    {
        return true;
    }
    catch (...)
    {
        const int status = StatusOf(Error);
        return status == 502 || status == 504;
    }
}

bool IsCancellation(const std::exception_ptr& Error)
{
    try
    {
        std::rethrow_exception(Error);
    }
    catch (const EHTTPDataProvider& e)
    {
        return e.ErrorCode == httpAborted;
    }
    catch (...)
    {
        return false;
    }
}

} // namespace

TUpdateThread::TUpdateThread(const TProxySettings& Proxy)
{
    HTTP.SetCompression(true);
    UseProxy(HTTP, Proxy);
}

TUpdateThread::~TUpdateThread()
{
    // Here rather than in the base: the thread uses HTTP and the other members of this class.
    Cancel();
    WaitFor();
}

void TUpdateThread::Cancel()
{
    Terminate();
    std::lock_guard lock(FSlotsLock);
    HTTP.Abort();
    for (auto& http : FExtra)
        http->Abort();
    // Also ends a wait between two attempts.
    FPool.Wakeup();
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
        std::vector<TJob> jobs;
        UpdateDirectory("", *UpdateConfig, jobs);
        RunDownloads(jobs);
    }
    catch (const EHTTPProtocolException& e)
    {
        // A status error is reported with the whole answer and the address in its details; the stack saved is the
        // one the status error was thrown with.
        SaveExceptionCallStack(e);
        ESmartException smart("TApplication", std::current_exception());
        smart.Details = e.RawHeaders + "\r\n" + e.ErrorMessage + "\r\n\r\nURL: " + FFailedAddress;
        if (!FAttemptLog.empty())
            smart.Details += "\r\n\r\n" + FAttemptLog;
        RaisedException = std::make_exception_ptr(smart);
    }
    catch (const Exception& e)
    {
        if (FAttemptLog.empty())
            throw;
        // A file that failed more than once names every attempt.
        SaveExceptionCallStack(e);
        ESmartException smart("TApplication", std::current_exception());
        smart.Details = FAttemptLog;
        RaisedException = std::make_exception_ptr(smart);
    }
}

void TUpdateThread::HandOver()
{
    // One hand-over for both: once the window is closed the user-interface thread leaves its modal loop and waits
    // for this thread, so a second hand-over would never be served.
    const std::vector<TProgressState> pending = std::exchange(FPendingReports, {});
    for (const auto& report : pending)
        UpdateProgress(report);
    if (OnFinished)
        OnFinished();
    orb::UpdateProgress().SetLoginWindowVisible(true);
}

void TUpdateThread::UpdateDirectory(const std::string& Prefix, const xml::IXMLNode& Node, std::vector<TJob>& Jobs)
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
            TJob job;
            job.Node = child;
            job.Name = FileName;
            job.Size = FileSize;
            job.Modified = ReadIndexModified(*child);
            job.Sha256 = ReadIndexSha256(*child, FileName);
            job.Address = DownloadAddress(child->HasAttribute("private") ? PrivateDownloadURL : DownloadURL, FileName);
            const std::string localName = LocalFileName(FileName, true);
            job.Target = FLocalDir + NativePath(localName);
            job.Gunzip = localName != FileName;
            Jobs.push_back(std::move(job));
        }
        else if (tag == "directory")
        {
            FileName = Prefix + name;
            CheckSegmentName(name, FileName);
            std::error_code ec;
            // A directory that cannot be made shows up as the first download into it failing.
            fs::create_directory(FLocalDir + NativePath(FileName), ec);
            UpdateDirectory(FileName + "\\", *child, Jobs);
        }
        else
            throw Exception("UpdateDirectory: Unknown node name: " + tag);
    }
}

void TUpdateThread::RunDownloads(std::vector<TJob>& Jobs)
{
    const auto connections =
        static_cast<size_t>(std::clamp(Connections, 1, 16)); // the setting's own bounds, also for direct callers
    {
        std::lock_guard lock(FSlotsLock);
        while (FExtra.size() + 1 < std::min(connections, std::max<size_t>(Jobs.size(), 1)))
        {
            auto http = std::make_unique<THTTPDataProvider>();
            http->HTTP_Client = HTTP.HTTP_Client;
            http->HTTP_Client.OnWork = nullptr;
            http->SetCompression(HTTP.Compression());
            http->SetSSLVersion(HTTP.SSLVersion());
            FExtra.push_back(std::move(http));
        }
    }
    FSlots.clear();
    FSlots.resize(FExtra.size() + 1);
    FSlots[0].HTTP = &HTTP;
    for (size_t i = 0; i < FExtra.size(); ++i)
        FSlots[i + 1].HTTP = FExtra[i].get();
    // Whatever ends the downloads, the transfers still in flight end with them and their writers close (a partial
    // file that can be continued stays).
    struct TRelease
    {
        TUpdateThread& Self;
        ~TRelease()
        {
            for (auto& slot : Self.FSlots)
                Self.ReleaseSlot(slot);
        }
    } release{*this};

    std::deque<TJob*> queue;
    for (auto& job : Jobs)
        queue.push_back(&job);
    size_t completed = 0;
    while (completed < Jobs.size())
    {
        if (Terminated())
            throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
        auto now = std::chrono::steady_clock::now();
        auto nextStart = std::chrono::steady_clock::time_point::max();
        for (auto& slot : FSlots)
        {
            if (slot.Job)
                continue;
            auto ready = std::find_if(queue.begin(), queue.end(), [&](const TJob* J) { return J->NotBefore <= now; });
            if (ready == queue.end())
                break;
            TJob& job = **ready;
            queue.erase(ready);
            StartJob(slot, job);
        }
        // A file waiting between two attempts is due only where a connection is free.
        if (std::any_of(FSlots.begin(), FSlots.end(), [](const TSlot& S) { return !S.Job; }))
            for (const TJob* job : queue)
                nextStart = std::min(nextStart, job->NotBefore);
        long long waitMs = 1000;
        if (nextStart != std::chrono::steady_clock::time_point::max())
            waitMs = std::clamp<long long>(
                std::chrono::ceil<std::chrono::milliseconds>(nextStart - std::chrono::steady_clock::now()).count(), 0,
                waitMs);
        for (auto& finished : FPool.Run(static_cast<int>(waitMs)))
        {
            auto slot = std::find_if(FSlots.begin(), FSlots.end(),
                                     [&](const TSlot& S) { return &S.HTTP->Transfer() == finished.Transfer; });
            try
            {
                std::string ignored;
                if (!slot->HTTP->FinishRequest(finished.Outcome, ignored))
                    continue; // sent once more (TLS fallback, proxy credentials)
                CompleteJob(*slot);
                ++completed;
            }
            catch (...)
            {
                const std::exception_ptr error = std::current_exception();
                TJob& job = *slot->Job;
                if (!RetryAfter(*slot, error))
                {
                    FFailedAddress = job.Address;
                    if (job.Attempt > 1 && !IsCancellation(error))
                        FAttemptLog = job.Log;
                    throw;
                }
                queue.push_back(&job);
            }
        }
    }
}

void TUpdateThread::StartJob(TSlot& Slot, TJob& Job)
{
    ++Job.Attempt;
    Job.Running = true;
    Slot.Job = &Job;
    Slot.BodyStarted = false;
    Slot.Have = 0;
    Slot.Validator.clear();
    Slot.ResumeInfoSaved = false;
    THTTPDataProvider& http = *Slot.HTTP;
    http.ExtraHeaders.clear();
    http.SetCompression(HTTP.Compression());
    // A gunzipped file is unpacked as it arrives, so its partial file holds no bytes as served: it starts afresh.
    if (!Job.Gunzip && !Job.FromZero)
    {
        if (auto point = ResumePoint(Job.Target, Job.Address, Job.Size))
        {
            Slot.Have = point->first;
            // The bytes as stored are the bytes as served only without a content coding.
            http.SetCompression(false);
            http.ExtraHeaders = {"Range: bytes=" + std::to_string(Slot.Have) + "-", "If-Range: " + point->second};
        }
    }
    Job.FromZero = false;
    Job.Received = Slot.Have;
    FLatest = &Job;
    FileName = Job.Name;
    FileSize = Job.Size;
    DownloadedBytes = Job.Received;
    // One file at a time, every file's start reaches the window. Side by side, starts are reported at the progress
    // interval like the bytes are: each report waits for the window's thread, and a label changing faster than it
    // can be read tells nobody anything. Every finished file is still reported once (FPendingReports).
    ReportProgress(Connections <= 1);
    // A cancel pressed during that hand-over would be lost when the request starts.
    if (Terminated())
        throw EHTTPDataProvider(RequestAbortedMessage(), httpAborted);
    http.URL.SetURL(Job.Address);
    // The body of a successful answer goes to the file as it arrives, content coding already decoded, so memory
    // does not grow with the file; an error answer stays with the provider for the report.
    http.OnData = [this, &Slot](const char* Data, size_t Size) { ReceiveBody(Slot, Data, Size); };
    http.StartRequest(FPool);
}

void TUpdateThread::ReceiveBody(TSlot& Slot, const char* Data, size_t Size)
{
    TJob& job = *Slot.Job;
    if (!Slot.BodyStarted)
    {
        Slot.BodyStarted = true;
        const THTTPResponse& response = Slot.HTTP->HTTP_Client.Response;
        const int status = StatusOfLine(response.ResponseText);
        const bool coded = !response.Header("Content-Encoding").empty();
        if (Slot.Have > 0 && status == 206)
        {
            // Only the exact continuation of the same version is appended; anything else starts from zero.
            if (coded || !ContinuesAt(response.Header("Content-Range"), Slot.Have, job.Size))
                throw ERestartDownload("The continuation of \"" + job.Name + "\" does not fit the part on disk.");
            Slot.Writer = std::make_unique<TDownloadWriter>(job.Target, Slot.Have);
            Slot.Writer->KeepPartial(true);
            Slot.ResumeInfoSaved = true;
            job.Resumed = true;
        }
        else
        {
            if (status == 206)
                throw Exception("The server sent a part of \"" + job.Name + "\" that was not asked for.");
            // A whole answer: the server's copy changed since the part on disk, or it does not serve ranges.
            Slot.Have = 0;
            job.Resumed = false;
            Slot.Writer = std::make_unique<TDownloadWriter>(job.Target, job.Gunzip);
            // Without a validator a later continuation could splice two versions: the part is never kept.
            Slot.Validator = coded || job.Gunzip ? "" : ValidatorOf(response);
            // A side file of an older part no longer describes what the partial file will hold.
            std::error_code ec;
            fs::remove(ResumeInfoName(job.Target), ec);
            Slot.Writer->KeepPartial(false);
            if (job.Size >= ResumeInfoFrom)
                SaveResumeInfoOf(Slot);
        }
        if (!job.Sha256.empty())
            Slot.Writer->ExpectSha256(job.Sha256, job.Name);
        job.Received = Slot.Have;
    }
    job.Received += static_cast<int64_t>(Size);
    // A body longer than the index says is not the published file: stop reading it at once.
    if (job.Received > job.Size)
        throw EBadSize("The download of \"" + job.Name + "\" has at least " + std::to_string(job.Received) +
                       " bytes, the update index says " + std::to_string(job.Size) + ".");
    // The disk is written on a thread of its own: here it would hold up every transfer of the pool.
    FWrites.Write(*Slot.Writer, std::string_view(Data, Size));
    if (FLatest == &job)
        DownloadedBytes = job.Received;
    ReportProgress(false);
}

void TUpdateThread::CompleteJob(TSlot& Slot)
{
    TJob& job = *Slot.Job;
    if (!Slot.Writer || job.Received != job.Size)
        throw EBadSize("The download of \"" + job.Name + "\" has " + std::to_string(Slot.Writer ? job.Received : 0) +
                       " bytes, the update index says " + std::to_string(job.Size) + ".");
    FWrites.Drain(*Slot.Writer);
    Slot.Writer->Finish();
    if (Slot.ResumeInfoSaved)
    {
        std::error_code ec;
        fs::remove(ResumeInfoName(job.Target), ec);
    }
    // A complete file leaves nothing to continue.
    Slot.Validator.clear();
    SetFileTimeRetrying(job.Target, RoundToDosTime(job.Modified));
    // A gunzipped file differs from what was published: its own hash is kept in the saved index, so that a later
    // installation can check a copy of it.
    const std::string stored = Slot.Writer->StoredSha256();
    if (!stored.empty() && stored != job.Sha256)
        job.Node->SetAttribute(StoredSha256Attribute, stored);
    job.Running = false;
    TotalDownloadedBytes += job.Size;
    if (FLatest == &job)
        DownloadedBytes = job.Size;
    // Each file is shown complete once (the console writes a line for it), then the window follows the latest.
    TProgressState done = CurrentProgress();
    done.FileName = job.Name;
    done.DownloadedBytes = done.FileSize = job.Size;
    FPendingReports.push_back(std::move(done));
    ReleaseSlot(Slot);
}

bool TUpdateThread::RetryAfter(TSlot& Slot, const std::exception_ptr& Error)
{
    TJob& job = *Slot.Job;
    const bool resumed = job.Resumed;
    const int64_t have = Slot.Have;
    ReleaseSlot(Slot);
    job.Running = false;
    job.Received = 0;
    if (Terminated() || IsCancellation(Error))
        return false; // a part that can be continued stays for the next update
    const auto now = std::chrono::steady_clock::now();
    // A server that refuses the range asked for (416) gets the whole file.
    if (Is<ERestartDownload>(Error) || (have > 0 && StatusOf(Error) == 416))
    {
        ForgetPartial(job.Target);
        job.FromZero = true;
        --job.Attempt; // not the file's fault, nor the connection's
        job.NotBefore = now;
        return true;
    }
    if (Is<EUpdateRefused>(Error) || Is<EBadSize>(Error))
    {
        ForgetPartial(job.Target);
        // A continued file that is not the published one may be two versions spliced: once more from zero.
        if (resumed && !job.RefetchedWhole && Is<EUpdateRefused>(Error))
        {
            job.RefetchedWhole = true;
            job.FromZero = true;
            --job.Attempt;
            job.NotBefore = now;
            return true;
        }
        return false;
    }
    job.Log += "Attempt " + std::to_string(job.Attempt) + ": " + job.Address + ": " + MessageOf(Error) + "\r\n";
    if (!IsTransient(Error) || job.Attempt >= RetryAttempts)
        return false;
    // Exponential backoff with jitter, so that many clients do not come back at the same moment.
    static thread_local std::mt19937 random{std::random_device{}()};
    const double factor = std::uniform_real_distribution<double>(0.75, 1.25)(random);
    const auto delay = std::chrono::duration<double, std::milli>(
        static_cast<double>(RetryDelay.count()) * static_cast<double>(1LL << std::min(job.Attempt - 1, 20)) * factor);
    job.NotBefore = now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(delay);
    return true;
}

void TUpdateThread::SaveResumeInfoOf(TSlot& Slot)
{
    Slot.ResumeInfoSaved = true;
    if (!Slot.Validator.empty())
        Slot.Writer->KeepPartial(SaveResumeInfo(Slot.Job->Target, Slot.Job->Address, Slot.Validator));
}

void TUpdateThread::ReleaseSlot(TSlot& Slot)
{
    if (!Slot.Job)
        return;
    FPool.Remove(Slot.HTTP->Transfer());
    Slot.HTTP->OnData = nullptr;
    Slot.HTTP->ExtraHeaders.clear();
    if (Slot.Writer)
    {
        if (!Slot.ResumeInfoSaved)
            SaveResumeInfoOf(Slot);
        // What arrived of a part that a later download can continue is written out, not dropped.
        if (Slot.Writer->KeepsPartial())
        {
            try
            {
                FWrites.Drain(*Slot.Writer);
            }
            catch (...)
            {
                Slot.Writer->KeepPartial(false);
            }
        }
        FWrites.Forget(*Slot.Writer);
    }
    Slot.Writer.reset();
    Slot.Job = nullptr;
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
    const std::vector<TProgressState> pending = std::exchange(FPendingReports, {});
    MainThread().Synchronize([&] {
        for (const auto& report : pending)
            UpdateProgress(report);
        UpdateProgress(state);
    });
}

TUpdateThread::TProgressState TUpdateThread::CurrentProgress() const
{
    // The total counts the completed files and what has arrived of those in flight.
    int64_t done = TotalDownloadedBytes;
    for (const auto& slot : FSlots)
        if (slot.Job && slot.Job->Running)
            done += slot.Job->Received;
    return {FileName, DownloadedBytes, FileSize, done, TotalSize};
}

void TUpdateThread::UpdateProgress(const TProgressState& State)
{
    IUpdateProgress& view = orb::UpdateProgress();
    view.SetUpdatingFile(State.FileName);
    view.SetFileProgress(ProgressText(State.DownloadedBytes, State.FileSize),
                         ProgressPosition(State.DownloadedBytes, State.FileSize));
    const int64_t done = State.TotalDone;
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
    worker.Connections = Connections;
    worker.RetryDelay = RetryDelay;
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
        FWorker->Cancel();
}

} // namespace orb
