#include "platform/FileTimes.h"

#include "platform/win32/Win32Util.h"

namespace orb::platform
{

namespace
{

using namespace std::chrono;

TDateTime FromSystemTime(const SYSTEMTIME& St)
{
    local_days day = local_days(year(St.wYear) / St.wMonth / St.wDay);
    return TDateTime(day) + hours(St.wHour) + minutes(St.wMinute) + seconds(St.wSecond) +
           milliseconds(St.wMilliseconds);
}

SYSTEMTIME ToSystemTime(TDateTime Time)
{
    local_days day = floor<days>(Time);
    year_month_day ymd(day);
    hh_mm_ss<milliseconds> tod(Time - day);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(static_cast<int>(ymd.year()));
    st.wMonth = static_cast<WORD>(static_cast<unsigned>(ymd.month()));
    st.wDay = static_cast<WORD>(static_cast<unsigned>(ymd.day()));
    st.wHour = static_cast<WORD>(tod.hours().count());
    st.wMinute = static_cast<WORD>(tod.minutes().count());
    st.wSecond = static_cast<WORD>(tod.seconds().count());
    st.wMilliseconds = static_cast<WORD>(tod.subseconds().count());
    return st;
}

// Directories can only be opened with backup semantics.
HANDLE OpenForTimes(const std::filesystem::path& Path, DWORD Access)
{
    HANDLE h = CreateFileW(Path.c_str(), Access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        win32::RaiseLastOSError();
    return h;
}

} // namespace

TDateTime Now()
{
    SYSTEMTIME st;
    GetLocalTime(&st);
    return FromSystemTime(st);
}

TDateTime GetLastWriteTime(const std::filesystem::path& Path)
{
    HANDLE h = OpenForTimes(Path, FILE_READ_ATTRIBUTES);
    FILETIME utc;
    BOOL ok = GetFileTime(h, nullptr, nullptr, &utc);
    CloseHandle(h);
    SYSTEMTIME utcTime, st;
    if (!ok || !FileTimeToSystemTime(&utc, &utcTime) || !SystemTimeToTzSpecificLocalTime(nullptr, &utcTime, &st))
        win32::RaiseLastOSError();
    return FromSystemTime(st);
}

void SetLastWriteTime(const std::filesystem::path& Path, TDateTime Time)
{
    // Local time is converted with the summer-time rule of its own date, as on POSIX systems; the file-time
    // functions for local time use today's offset, which moves every stamp by an hour when summer time starts or
    // ends and makes every installed file look changed.
    SYSTEMTIME st = ToSystemTime(Time), utcTime;
    FILETIME utc;
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &st, &utcTime) || !SystemTimeToFileTime(&utcTime, &utc))
        win32::RaiseLastOSError();
    // The reparse point itself is opened, never what it points to; a link is refused.
    HANDLE h = CreateFileW(Path.c_str(), FILE_WRITE_ATTRIBUTES | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        win32::RaiseLastOSError();
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        CloseHandle(h);
        throw EOSError(ERROR_CANT_ACCESS_FILE, "Refused to set the time through a symbolic link");
    }
    BOOL ok = SetFileTime(h, nullptr, nullptr, &utc);
    DWORD error = GetLastError();
    CloseHandle(h);
    if (!ok)
    {
        SetLastError(error);
        win32::RaiseLastOSError();
    }
}

} // namespace orb::platform
