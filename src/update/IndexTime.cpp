#include "update/IndexTime.h"

#include "base/Exceptions.h"
#include "platform/FileTimes.h"
#include "update/UpdateErrors.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace orb
{

namespace
{

bool ReadDigits(const std::string& Text, size_t Pos, size_t Count, int& Value)
{
    if (Text.size() < Pos + Count)
        return false;
    Value = 0;
    for (size_t i = Pos; i < Pos + Count; ++i)
    {
        if (Text[i] < '0' || Text[i] > '9')
            return false;
        Value = Value * 10 + (Text[i] - '0');
    }
    return true;
}

bool IsLeapYear(int Year)
{
    return (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;
}

bool IsValid(const TIndexTime& T)
{
    static const int daysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (T.Year < 1 || T.Month < 1 || T.Month > 12 || T.Day < 1)
        return false;
    int days = daysInMonth[T.Month - 1] + (T.Month == 2 && IsLeapYear(T.Year) ? 1 : 0);
    return T.Day <= days && T.Hour < 24 && T.Minute < 60 && T.Second < 60;
}

std::chrono::system_clock::time_point ToSystemTime(std::filesystem::file_time_type Time)
{
    return std::chrono::file_clock::to_sys(Time);
}

} // namespace

TIndexTime ParseIndexTime(const std::string& Text)
{
    TIndexTime t;
    if (!ReadDigits(Text, 0, 4, t.Year) || !ReadDigits(Text, 4, 2, t.Month) || !ReadDigits(Text, 6, 2, t.Day) ||
        !ReadDigits(Text, 8, 2, t.Hour) || !ReadDigits(Text, 10, 2, t.Minute) || !ReadDigits(Text, 12, 2, t.Second) ||
        !IsValid(t))
        throw EConvertError("Wrong date: \"" + Text + "\"");
    return t;
}

std::string FormatIndexTime(const TIndexTime& T)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", T.Year % 10000, T.Month % 100, T.Day % 100, T.Hour % 100,
                  T.Minute % 100, T.Second % 100);
    return buf;
}

TIndexTime RoundToDosTime(const TIndexTime& Time)
{
    TIndexTime t = Time;
    t.Second &= ~1;
    return t;
}

namespace
{

TIndexTime FromTimeTSlow(std::time_t Seconds)
{
    std::tm tm{};
    // The reentrant form; std::localtime shares one buffer between threads.
#ifdef _WIN32
    localtime_s(&tm, &Seconds);
#else
    localtime_r(&Seconds, &tm);
#endif
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

#ifndef _WIN32
/// The offset of local time from UTC at Seconds.
long UtcOffsetAt(std::time_t Seconds)
{
    std::tm tm{};
    localtime_r(&Seconds, &tm);
    return tm.tm_gmtoff;
}
#endif

/// Local time of Seconds. A cache check converts tens of thousands of file times; the time-zone lookup is done once
/// per quarter of an hour of file times, and only where the offset is the same at both ends of that quarter (so no
/// change of the offset lies inside it; changes are months apart).
TIndexTime FromTimeT(std::time_t Seconds)
{
#ifdef _WIN32
    return FromTimeTSlow(Seconds);
#else
    constexpr std::time_t bucketLength = 900;
    struct TBucket
    {
        std::time_t Start = -1;
        long Offset = 0;
        bool Uniform = false;
    };
    thread_local TBucket cache[64];
    // A time zone loaded anew (tzset after a change of TZ) makes every cached offset void.
    thread_local const char* zoneName = nullptr;
    if (zoneName != tzname[0])
    {
        zoneName = tzname[0];
        for (auto& entry : cache)
            entry = TBucket{};
    }
    std::time_t start = Seconds - ((Seconds % bucketLength) + bucketLength) % bucketLength;
    TBucket& bucket = cache[static_cast<size_t>(start / bucketLength) % 64];
    if (bucket.Start != start)
    {
        long first = UtcOffsetAt(start);
        bucket = {start, first, first == UtcOffsetAt(start + bucketLength - 1)};
    }
    if (!bucket.Uniform)
        return FromTimeTSlow(Seconds);
    using namespace std::chrono;
    sys_seconds local{seconds(Seconds + bucket.Offset)};
    auto day = floor<days>(local);
    year_month_day ymd{day};
    hh_mm_ss<seconds> time{local - day};
    return {static_cast<int>(ymd.year()),
            static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day())),
            static_cast<int>(time.hours().count()),
            static_cast<int>(time.minutes().count()),
            static_cast<int>(time.seconds().count())};
#endif
}

} // namespace

bool TryGetLocalFileTime(const std::filesystem::path& FileName, TIndexTime& Time)
{
    std::error_code ec;
    auto fileTime = std::filesystem::last_write_time(FileName, ec);
    if (ec)
        return false;
    auto sys = std::chrono::floor<std::chrono::seconds>(ToSystemTime(fileTime));
    Time = FromTimeT(std::chrono::system_clock::to_time_t(sys));
    return true;
}

void SetLocalFileTime(const std::filesystem::path& FileName, const TIndexTime& Time)
{
    using namespace std::chrono;
    local_days day = local_days(year(Time.Year) / Time.Month / Time.Day);
    TDateTime moment = TDateTime(day) + hours(Time.Hour) + minutes(Time.Minute) + seconds(Time.Second);
    try
    {
        // The platform call never follows a symbolic link: a link inside an installation must not carry the
        // time (or anything else) to a file outside it.
        platform::SetLastWriteTime(FileName, moment);
    }
    catch (const EOSError& e)
    {
        throw EOSError(e.ErrorCode, e.Message + "\r\nPath: " + FileName.string());
    }
}

TIndexTime LocalNow()
{
    return FromTimeT(std::time(nullptr));
}

} // namespace orb
