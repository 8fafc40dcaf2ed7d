#include "net/StreamInflater.h"

#include "net/HTTPDataProvider.h"

#include <zlib.h>

namespace orb
{

struct TStreamInflater::TState
{
    z_stream Stream{};
    /// The last stream (or member) read so far ended properly.
    bool Ended = false;
    static constexpr uInt BufferSize = 64 * 1024;
    std::unique_ptr<char[]> Buffer = std::make_unique<char[]>(BufferSize);
};

TStreamInflater::TStreamInflater(TInflateFormat Format, bool Members, TInflateMessages Messages)
    : FState(std::make_unique<TState>()), FMessages(std::move(Messages)), FMembers(Members)
{
    if (inflateInit2(&FState->Stream, Format == TInflateFormat::Gzip ? 16 + MAX_WBITS : MAX_WBITS) != Z_OK)
        throw EDecompressionError("Cannot start decompression");
}

TStreamInflater::~TStreamInflater()
{
    inflateEnd(&FState->Stream);
}

void TStreamInflater::Fail(const std::string& Reason) const
{
    throw EDecompressionError(FMessages.Prefix + Reason);
}

void TStreamInflater::Feed(const char* Data, std::size_t Size, const std::function<void(const char*, std::size_t)>& Out)
{
    TState& s = *FState;
    z_stream& z = s.Stream;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data));
    z.avail_in = static_cast<uInt>(Size);
    for (;;)
    {
        if (s.Ended)
        {
            if (!FMembers || z.avail_in == 0)
                break;
            // Another member follows the one that ended.
            inflateReset(&z);
            s.Ended = false;
        }
        z.next_out = reinterpret_cast<Bytef*>(s.Buffer.get());
        z.avail_out = TState::BufferSize;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t produced = TState::BufferSize - z.avail_out;
        if (produced != 0)
            Out(s.Buffer.get(), produced);
        if (rc == Z_STREAM_END)
            s.Ended = true;
        else if (rc == Z_BUF_ERROR && z.avail_in == 0)
            break; // all input taken and all output given: the next piece is needed
        else if (rc != Z_OK)
            Fail(z.msg != nullptr ? z.msg : FMessages.Damaged);
        else if (z.avail_in == 0 && z.avail_out != 0)
            break;
    }
}

void TStreamInflater::Finish() const
{
    if (!FState->Ended)
        Fail(FMessages.Truncated);
}

} // namespace orb
