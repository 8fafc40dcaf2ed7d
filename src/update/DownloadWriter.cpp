#include "update/DownloadWriter.h"

#include "base/Exceptions.h"
#include "exception_dialog/Worker.h"
#include "net/HTTPDataProvider.h"
#include "net/StreamInflater.h"
#include "platform/SafeFiles.h"
#include "update/DirectoryUtils.h"
#include "update/UpdateErrors.h"
#include "update/UpdateTrust.h"

#include <algorithm>
#include <cerrno>
#include <vector>

namespace fs = std::filesystem;

namespace orb
{

TDownloadWriter::TDownloadWriter(const fs::path& Target, bool Gunzip) : FTarget(Target)
{
    if (Gunzip)
        FInflater = std::make_unique<TStreamInflater>(
            TInflateFormat::Gzip, /*Members=*/true,
            TInflateMessages{"Cannot unpack " + Target.filename().string() + ": ", "the gzip data is damaged",
                             "the gzip data ends too early"});
    std::error_code ec;
    FFile = CreateTemporaryBeside(Target, FTemporary, ec);
    if (!FFile)
        RaiseWriteError(ec.value());
    // Blocks of 32 KB reach the file system, whatever sizes the network delivers.
    std::setvbuf(FFile, nullptr, _IOFBF, 32 * 1024);
}

TDownloadWriter::TDownloadWriter(const fs::path& Target, std::int64_t Have)
    : FTarget(Target), FTemporary(TemporaryNameBeside(Target))
{
    std::error_code ec;
    FFile = platform::OpenRegularFileForAppend(FTemporary, ec);
    if (!FFile)
        RaiseWriteError(ec.value());
    std::setvbuf(FFile, nullptr, _IOFBF, 32 * 1024);
    FWritten = Have;
}

TDownloadWriter::~TDownloadWriter()
{
    if (FFile)
        std::fclose(FFile);
    if (!FFinished && !FKeepPartial)
    {
        std::error_code ec;
        fs::remove(FTemporary, ec);
    }
}

void TDownloadWriter::RaiseWriteError(int Code)
{
    throw EInOutError(Code, SysErrorMessage(Code) + "\r\nPath: " + FTarget.string());
}

void TDownloadWriter::WriteOut(const char* Data, size_t Size)
{
    if (Size == 0)
        return;
    if (std::fwrite(Data, 1, Size, FFile) != Size)
        RaiseWriteError(errno ? errno : EIO);
    if (FStoredHash)
        FStoredHash->Update(Data, Size);
    FWritten += static_cast<long long>(Size);
}

void TDownloadWriter::ExpectSha256(const std::string& Sha256, const std::string& Name)
{
    FExpectedSha256 = Sha256;
    FName = Name;
    FBodyHash = std::make_unique<TSha256>();
    // A gunzipped file is stored unlike it was published; its own hash lets a later installation check a copy of it.
    if (FInflater)
        FStoredHash = std::make_unique<TSha256>();
    if (FWritten > 0)
        HashWrittenPart();
}

void TDownloadWriter::HashWrittenPart()
{
    // The part an interrupted download left counts for the whole file's hash, read back as it is on disk.
    std::error_code ec;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(platform::OpenRegularFile(FTemporary, ec), &std::fclose);
    if (!in)
        RaiseWriteError(ec.value());
    std::vector<char> buffer(256 * 1024);
    long long left = FWritten;
    while (left > 0)
    {
        const size_t n =
            std::fread(buffer.data(), 1, static_cast<size_t>(std::min<long long>(left, buffer.size())), in.get());
        if (n == 0)
            RaiseWriteError(EIO);
        FBodyHash->Update(buffer.data(), n);
        left -= static_cast<long long>(n);
    }
}

void TDownloadWriter::Write(std::string_view Bytes)
{
    if (FBodyHash)
        FBodyHash->Update(Bytes.data(), Bytes.size());
    if (!FInflater)
    {
        WriteOut(Bytes.data(), Bytes.size());
        return;
    }
    FInflater->Feed(Bytes.data(), Bytes.size(), [this](const char* Data, size_t Size) { WriteOut(Data, Size); });
}

void TDownloadWriter::Finish()
{
    if (FInflater)
        FInflater->Finish();
    int rc = std::fclose(FFile);
    FFile = nullptr;
    if (rc != 0)
        RaiseWriteError(errno ? errno : EIO);
    // Checked once the file is closed: the hash in the pipeline overlaps the last writes.
    if (FBodyHash)
    {
        const std::string actual = FBodyHash->HexDigest();
        if (actual != FExpectedSha256)
            throw EUpdateRefused(UpdateMessage("UpdateFileHashMismatch",
                                               "The download of \"{0}\" is not the published file: its SHA-256 is {1}, "
                                               "the update index says {2}. The file was not installed. Please try "
                                               "again later or contact your broker.",
                                               {FName, actual, FExpectedSha256}));
        FStoredSha256 = FStoredHash ? FStoredHash->HexDigest() : actual;
    }
    std::error_code ec;
    // The rename replaces a link at the target itself; nothing is written through it.
    fs::rename(FTemporary, FTarget, ec);
    if (ec)
        RaiseWriteError(ec.value());
    FFinished = true;
}

TWriteBehind::~TWriteBehind()
{
    if (!FWorker)
        return;
    {
        std::lock_guard guard(FMutex);
        FStop = true;
    }
    FWake.notify_all();
    FWorker->WaitFor();
}

bool TWriteBehind::Pending(const TDownloadWriter* Writer) const
{
    if (FBusy == Writer)
        return true;
    for (const auto& piece : FQueue)
        if (piece.Writer == Writer)
            return true;
    return false;
}

void TWriteBehind::Write(TDownloadWriter& Writer, std::string_view Bytes)
{
    // Pieces are gathered into blocks of about a megabyte, and at most this much waits for the disk.
    constexpr size_t BlockSize = 1 << 20;
    constexpr size_t MaxQueued = 16 << 20;
    if (Bytes.empty())
        return;
    if (!FWorker)
    {
        FWorker = std::make_unique<TWorker>();
        FWorker->Start([this] { Run(); });
    }
    std::unique_lock guard(FMutex);
    FSpace.wait(guard, [&] { return FQueuedBytes < MaxQueued; });
    if (auto failed = FFailures.find(&Writer); failed != FFailures.end())
        std::rethrow_exception(failed->second);
    // Only the last block may grow, and only with the same download's bytes.
    if (!FQueue.empty() && FQueue.back().Writer == &Writer && FQueue.back().Bytes.size() < BlockSize)
        FQueue.back().Bytes.append(Bytes);
    else
    {
        TPiece piece{&Writer, {}};
        piece.Bytes.reserve(std::max(BlockSize, Bytes.size()));
        piece.Bytes.append(Bytes);
        FQueue.push_back(std::move(piece));
    }
    FQueuedBytes += Bytes.size();
    guard.unlock();
    FWake.notify_one();
}

void TWriteBehind::Drain(TDownloadWriter& Writer)
{
    std::unique_lock guard(FMutex);
    FDone.wait(guard, [&] { return !Pending(&Writer); });
    if (auto failed = FFailures.find(&Writer); failed != FFailures.end())
        std::rethrow_exception(failed->second);
}

void TWriteBehind::Forget(TDownloadWriter& Writer)
{
    std::unique_lock guard(FMutex);
    for (auto it = FQueue.begin(); it != FQueue.end();)
    {
        if (it->Writer == &Writer)
        {
            FQueuedBytes -= it->Bytes.size();
            it = FQueue.erase(it);
        }
        else
            ++it;
    }
    FSpace.notify_all();
    FDone.wait(guard, [&] { return FBusy != &Writer; });
    FFailures.erase(&Writer);
}

void TWriteBehind::Run()
{
    std::unique_lock guard(FMutex);
    for (;;)
    {
        FWake.wait(guard, [&] { return !FQueue.empty() || FStop; });
        if (FQueue.empty())
            return;
        TPiece piece = std::move(FQueue.front());
        FQueue.pop_front();
        FQueuedBytes -= piece.Bytes.size();
        FSpace.notify_all();
        // After a failure the rest of that download is dropped: the file is abandoned anyway.
        if (FFailures.count(piece.Writer))
        {
            FDone.notify_all();
            continue;
        }
        FBusy = piece.Writer;
        guard.unlock();
        std::exception_ptr failure;
        try
        {
            piece.Writer->Write(piece.Bytes);
        }
        catch (...)
        {
            failure = std::current_exception();
        }
        guard.lock();
        if (failure)
            FFailures[piece.Writer] = failure;
        FBusy = nullptr;
        FDone.notify_all();
    }
}

} // namespace orb
