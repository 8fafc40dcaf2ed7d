#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace orb
{

/// The wrappings of a deflate stream that TStreamInflater reads.
enum class TInflateFormat
{
    Gzip, ///< RFC 1952
    Zlib  ///< RFC 1950 (HTTP's "deflate" content coding)
};

/// The texts of an inflater's failures: Prefix followed by the reason.
struct TInflateMessages
{
    /// Starts every failure message.
    std::string Prefix;
    /// The reason when zlib names none.
    std::string Damaged;
    /// The reason when the stream ends before its end mark.
    std::string Truncated;
};

/// Decodes a gzip or zlib stream piece by piece, handing the output on as it is made. Failures are
/// EDecompressionError.
class TStreamInflater
{
public:
    /// Members: a gzip body may hold several members one after another (as gzip itself writes them); otherwise
    /// bytes after the stream's end are ignored.
    TStreamInflater(TInflateFormat Format, bool Members, TInflateMessages Messages);
    ~TStreamInflater();
    TStreamInflater(const TStreamInflater&) = delete;
    TStreamInflater& operator=(const TStreamInflater&) = delete;

    /// Decodes the next piece; Out receives each decoded piece (never an empty one).
    void Feed(const char* Data, std::size_t Size, const std::function<void(const char*, std::size_t)>& Out);
    /// Raises unless the stream reached its end: a body cut short must not pass for a complete one.
    void Finish() const;

private:
    struct TState;
    [[noreturn]] void Fail(const std::string& Reason) const;
    std::unique_ptr<TState> FState;
    TInflateMessages FMessages;
    bool FMembers;
};

} // namespace orb
