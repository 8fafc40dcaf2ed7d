#include "platform/FileTimes.h"

#include "base/Exceptions.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace orb::platform
{

namespace
{

using namespace std::chrono;

constexpr const char* SymbolicLinkTimeMessage = "Refused to set the time through a symbolic link";

TDateTime ToLocal(const timespec& Ts)
{
    ::tzset(); // follow a TZ changed at run time
    tm fields{};
    time_t secs = Ts.tv_sec;
    if (!::localtime_r(&secs, &fields))
        throw EOSError(EOVERFLOW, SysErrorMessage(EOVERFLOW));
    local_days day = local_days(year(fields.tm_year + 1900) / (fields.tm_mon + 1) / fields.tm_mday);
    return TDateTime(day) + hours(fields.tm_hour) + minutes(fields.tm_min) + seconds(fields.tm_sec) +
           milliseconds(Ts.tv_nsec / 1000000);
}

timespec FromLocal(TDateTime Time)
{
    local_days day = floor<days>(Time);
    year_month_day ymd(day);
    hh_mm_ss<milliseconds> tod(Time - day);
    tm fields{};
    fields.tm_year = static_cast<int>(ymd.year()) - 1900;
    fields.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    fields.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    fields.tm_hour = static_cast<int>(tod.hours().count());
    fields.tm_min = static_cast<int>(tod.minutes().count());
    fields.tm_sec = static_cast<int>(tod.seconds().count());
    fields.tm_isdst = -1; // let the time zone rules decide whether summer time applies
    errno = 0;
    time_t secs = ::mktime(&fields);
    if (secs == static_cast<time_t>(-1) && errno != 0)
        throw EOSError(errno, SysErrorMessage(errno));
    timespec ts{};
    ts.tv_sec = secs;
    ts.tv_nsec = static_cast<long>(tod.subseconds().count()) * 1000000L;
    return ts;
}

} // namespace

TDateTime Now()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return ToLocal(ts);
}

TDateTime GetLastWriteTime(const std::filesystem::path& Path)
{
    struct stat st
    {
    };
    if (::stat(Path.c_str(), &st) != 0)
    {
        int e = errno;
        throw EOSError(e, SysErrorMessage(e));
    }
    return ToLocal(st.st_mtim);
}

void SetLastWriteTime(const std::filesystem::path& Path, TDateTime Time)
{
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT; // the access time stays
    times[1] = FromLocal(Time);
    struct stat st
    {
    };
    if (::fstatat(AT_FDCWD, Path.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
        throw EOSError(ELOOP, SymbolicLinkTimeMessage);
    // Not following a link even here: one swapped in since the check gets its own time changed, not its target's.
    if (::utimensat(AT_FDCWD, Path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
    {
        int e = errno;
        throw EOSError(e, SysErrorMessage(e));
    }
}

} // namespace orb::platform
