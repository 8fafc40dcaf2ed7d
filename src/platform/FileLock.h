#pragma once

#include <cstdint>
#include <filesystem>

namespace orb::platform
{

/// An exclusive lock on a lock file, seen by every process of the machine. The system drops it when the holder's
/// process ends, so a launcher that crashed leaves no stale lock behind.
class TFileLock
{
public:
    TFileLock() = default;
    /// Releases the lock when held.
    ~TFileLock();
    TFileLock(TFileLock&& Other) noexcept;
    TFileLock& operator=(TFileLock&& Other) noexcept;
    TFileLock(const TFileLock&) = delete;
    TFileLock& operator=(const TFileLock&) = delete;

    /// Takes the lock on Path (the file is created when missing) without waiting; false while another holder has it.
    /// Raises EOSError when the lock file cannot be opened.
    bool TryLock(const std::filesystem::path& Path);
    /// Whether this object holds the lock.
    bool Locked() const { return FHandle != InvalidHandle; }
    /// Releases the lock (nothing when not held).
    void Unlock();

private:
    /// A file descriptor on POSIX systems, a HANDLE on Windows.
    static constexpr std::intptr_t InvalidHandle = -1;
    std::intptr_t FHandle = InvalidHandle;
};

} // namespace orb::platform
