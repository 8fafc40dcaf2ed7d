#include "update/DownloadWriter.h"

#include "base/Exceptions.h"
#include "net/HTTPDataProvider.h"
#include "net/StreamInflater.h"
#include "update/DirectoryUtils.h"

#include <cerrno>

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
    std::error_code ec;
    // The rename replaces a link at the target itself; nothing is written through it.
    fs::rename(FTemporary, FTarget, ec);
    if (ec)
        RaiseWriteError(ec.value());
    FFinished = true;
}

} // namespace orb
