#include "update/DownloadWriter.h"

#include "base/Exceptions.h"
#include "net/HTTPDataProvider.h"
#include "update/DirectoryUtils.h"

#include <zlib.h>

#include <cerrno>
#include <vector>

namespace fs = std::filesystem;

namespace orb
{

/// A gzip stream decoder; a body may hold several gzip members one after another (as gzip itself writes them).
struct TDownloadWriter::TInflater
{
    z_stream Stream{};
    bool Ended = false; ///< the last member read so far ended properly
    std::vector<char> Out = std::vector<char>(64 * 1024);

    TInflater()
    {
        if (inflateInit2(&Stream, 16 + MAX_WBITS) != Z_OK)
            throw EDecompressionError("Cannot start decompression");
    }
    ~TInflater() { inflateEnd(&Stream); }
};

TDownloadWriter::TDownloadWriter(const fs::path& Target, bool Gunzip) : FTarget(Target)
{
    if (Gunzip)
        FInflater = std::make_unique<TInflater>();
    std::error_code ec;
    FFile = CreateTemporaryBeside(Target, FTemporary, ec);
    if (!FFile)
        RaiseWriteError(ec.value());
    // Blocks of 32 KB reach the file system, whatever sizes the network delivers.
    std::setvbuf(FFile, nullptr, _IOFBF, 32 * 1024);
}

TDownloadWriter::~TDownloadWriter()
{
    if (FFile)
        std::fclose(FFile);
    if (!FFinished)
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
    FWritten += static_cast<long long>(Size);
}

void TDownloadWriter::Write(std::string_view Bytes)
{
    if (!FInflater)
    {
        WriteOut(Bytes.data(), Bytes.size());
        return;
    }
    z_stream& z = FInflater->Stream;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Bytes.data()));
    z.avail_in = static_cast<uInt>(Bytes.size());
    for (;;)
    {
        if (FInflater->Ended)
        {
            if (z.avail_in == 0)
                break;
            // Another member follows the one that ended.
            inflateReset(&z);
            FInflater->Ended = false;
        }
        z.next_out = reinterpret_cast<Bytef*>(FInflater->Out.data());
        z.avail_out = static_cast<uInt>(FInflater->Out.size());
        int rc = inflate(&z, Z_NO_FLUSH);
        WriteOut(FInflater->Out.data(), FInflater->Out.size() - z.avail_out);
        if (rc == Z_STREAM_END)
            FInflater->Ended = true;
        else if (rc == Z_BUF_ERROR && z.avail_in == 0)
            break; // everything consumed; more input is needed
        else if (rc != Z_OK)
            throw EDecompressionError("Cannot unpack " + FTarget.filename().string() + ": " +
                                      (z.msg ? z.msg : "the gzip data is damaged"));
        else if (z.avail_in == 0 && z.avail_out != 0)
            break; // everything consumed and no output pending
    }
}

void TDownloadWriter::Finish()
{
    if (FInflater && !FInflater->Ended)
        throw EDecompressionError("Cannot unpack " + FTarget.filename().string() + ": the gzip data ends too early");
    int rc = std::fclose(FFile);
    FFile = nullptr;
    if (rc != 0)
        RaiseWriteError(errno ? errno : EIO);
    std::error_code ec;
    // The rename replaces a link at the target itself; nothing is written through it.
    fs::rename(FTemporary, FTarget, ec);
    if (ec)
        RaiseWriteError(ec.value());
    FFinished = true;
}

} // namespace orb
