#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace orb
{

class TWorker;
class TStreamInflater;
class TSha256;

/// Writes one downloaded file: the bytes go, gunzipped when asked, to a temporary file beside the target (created
/// exclusively, never through a link), which replaces the target only in Finish. Destroyed without Finish, it removes
/// the temporary file (unless KeepPartial was called) and the target stays as it was.
class TDownloadWriter
{
public:
    /// Starts a temporary file beside Target; raises EInOutError when it cannot be created.
    TDownloadWriter(const std::filesystem::path& Target, bool Gunzip);
    /// Continues the temporary file beside Target that an interrupted download left (opened only when it is a
    /// regular file, never through a link); the next bytes are appended to it. Not for gunzipped files. Raises
    /// EInOutError when it cannot be opened.
    TDownloadWriter(const std::filesystem::path& Target, std::int64_t Have);
    ~TDownloadWriter();
    TDownloadWriter(const TDownloadWriter&) = delete;
    TDownloadWriter& operator=(const TDownloadWriter&) = delete;

    /// Adds the next piece of the body; raises EInOutError when writing fails, EDecompressionError for bad gzip data.
    void Write(std::string_view Bytes);
    /// Hashes the body as it arrives (before any gunzip) and makes Finish refuse it unless its SHA-256 is Sha256 (64
    /// lower-case hexadecimal digits); Name is the file's path in the update index, for the message. Call before
    /// the first Write.
    void ExpectSha256(const std::string& Sha256, const std::string& Name);
    /// Checks that a gzip body ended properly and, when one is expected, its SHA-256 (EUpdateRefused naming the
    /// file), closes the file and renames it over the target.
    void Finish();
    /// After Finish with an expected SHA-256: the SHA-256 of the bytes written to the file (the gunzipped content).
    const std::string& StoredSha256() const { return FStoredSha256; }
    /// Bytes written to the file so far (after gunzip), those of an interrupted download included.
    long long Written() const { return FWritten; }
    /// Leaves the temporary file in place when the writer is destroyed without Finish, for a later download to
    /// continue; false removes it again.
    void KeepPartial(bool Keep) { FKeepPartial = Keep; }
    /// Whether the temporary file stays when the writer is destroyed without Finish.
    bool KeepsPartial() const { return FKeepPartial; }

private:
    void WriteOut(const char* Data, size_t Size);
    void HashWrittenPart();
    [[noreturn]] void RaiseWriteError(int Code);

    std::filesystem::path FTarget;
    std::filesystem::path FTemporary;
    std::FILE* FFile = nullptr;
    std::unique_ptr<TStreamInflater> FInflater;
    long long FWritten = 0;
    std::unique_ptr<TSha256> FBodyHash;
    std::unique_ptr<TSha256> FStoredHash;
    std::string FExpectedSha256;
    std::string FName;
    std::string FStoredSha256;
    bool FFinished = false;
    bool FKeepPartial = false;
};

/// Writes the pieces of several downloads on a thread of its own, each download's pieces in order, so that the
/// network is read while the disk (and the hash) is busy. The bytes are copied; Write waits while much is queued.
class TWriteBehind
{
public:
    TWriteBehind() = default;
    /// Stops the thread; every writer must have been drained or forgotten.
    ~TWriteBehind();
    TWriteBehind(const TWriteBehind&) = delete;
    TWriteBehind& operator=(const TWriteBehind&) = delete;

    /// Queues Bytes for Writer. Raises the failure of an earlier piece of Writer (nothing after it is written).
    void Write(TDownloadWriter& Writer, std::string_view Bytes);
    /// Waits until every queued piece of Writer is written; raises the first failure among them.
    void Drain(TDownloadWriter& Writer);
    /// Drops the queued pieces of Writer and waits for one being written; its failure is forgotten. Afterwards the
    /// writer may be destroyed.
    void Forget(TDownloadWriter& Writer);

private:
    struct TPiece
    {
        TDownloadWriter* Writer;
        std::string Bytes;
    };
    void Run();
    bool Pending(const TDownloadWriter* Writer) const;

    std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FSpace;
    std::condition_variable FDone;
    std::deque<TPiece> FQueue;
    size_t FQueuedBytes = 0;
    /// The writer whose piece is being written.
    TDownloadWriter* FBusy = nullptr;
    std::map<TDownloadWriter*, std::exception_ptr> FFailures;
    bool FStop = false;
    std::unique_ptr<TWorker> FWorker;
};

} // namespace orb
