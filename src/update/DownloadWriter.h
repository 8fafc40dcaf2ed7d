#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>

namespace orb
{

class TStreamInflater;

/// Writes one downloaded file: the bytes go, gunzipped when asked, to a temporary file beside the target (created
/// exclusively, never through a link), which replaces the target only in Finish. Destroyed without Finish, it removes
/// the temporary file and the target stays as it was.
class TDownloadWriter
{
public:
    /// Starts a temporary file beside Target; raises EInOutError when it cannot be created.
    TDownloadWriter(const std::filesystem::path& Target, bool Gunzip);
    ~TDownloadWriter();
    TDownloadWriter(const TDownloadWriter&) = delete;
    TDownloadWriter& operator=(const TDownloadWriter&) = delete;

    /// Adds the next piece of the body; raises EInOutError when writing fails, EDecompressionError for bad gzip data.
    void Write(std::string_view Bytes);
    /// Checks that a gzip body ended properly, closes the file and renames it over the target.
    void Finish();
    /// Bytes written to the file so far (after gunzip).
    long long Written() const { return FWritten; }

private:
    void WriteOut(const char* Data, size_t Size);
    [[noreturn]] void RaiseWriteError(int Code);

    std::filesystem::path FTarget;
    std::filesystem::path FTemporary;
    std::FILE* FFile = nullptr;
    std::unique_ptr<TStreamInflater> FInflater;
    long long FWritten = 0;
    bool FFinished = false;
};

} // namespace orb
