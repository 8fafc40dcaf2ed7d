#pragma once

#include "platform/Environment.h"

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

namespace orb::test
{

/// Sets (or removes) an environment variable for the lifetime of the object, then restores it.
class ScopedEnv
{
public:
    ScopedEnv(std::string Name, const std::optional<std::string>& Value)
        : FName(std::move(Name)), FOld(platform::GetEnvironmentValue(FName))
    {
        Set(Value);
    }
    ~ScopedEnv() { Set(FOld); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    void Set(const std::optional<std::string>& Value)
    {
        if (Value)
            platform::SetEnvironmentValue(FName, *Value);
        else
            platform::RemoveEnvironmentValue(FName);
    }
    std::string FName;
    std::optional<std::string> FOld;
};

/// Makes a symbolic link; false when the system cannot make one (wine, or Windows without the right to), so that
/// the cases about links are left out there.
inline bool MakeSymlink(const std::filesystem::path& Target, const std::filesystem::path& Link, bool Directory = false)
{
    std::error_code ec;
    if (Directory)
        std::filesystem::create_directory_symlink(Target, Link, ec);
    else
        std::filesystem::create_symlink(Target, Link, ec);
#ifdef _WIN32
    return !ec;
#else
    if (ec)
        throw std::filesystem::filesystem_error("cannot create symlink", Target, Link, ec);
    return true;
#endif
}

/// Waits until a file exists (a started process writes it); false after 30 s.
inline bool WaitForFile(const std::filesystem::path& Path)
{
    for (int i = 0; i < 3000; ++i)
    {
        if (std::filesystem::exists(Path))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

} // namespace orb::test
