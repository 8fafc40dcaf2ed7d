#include "platform/Console.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdio>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace
{

#ifdef _WIN32
constexpr const char* NullDevice = "NUL";
int Dup(int Fd)
{
    return ::_dup(Fd);
}
int Dup2(int From, int To)
{
    return ::_dup2(From, To);
}
int Close(int Fd)
{
    return ::_close(Fd);
}
#else
constexpr const char* NullDevice = "/dev/null";
int Dup(int Fd)
{
    return ::dup(Fd);
}
int Dup2(int From, int To)
{
    return ::dup2(From, To);
}
int Close(int Fd)
{
    return ::close(Fd);
}
#endif

} // namespace

TEST(Console, InputFromTheNullDeviceOrAFileIsNoTerminal)
{
    orb::test::TempDir dir;
    orb::test::WriteBytes(dir / "input.txt", "secret\r\n");
    // Windows counts the NUL device as a character device, which the C library's terminal check takes for one.
    for (const std::string& source : {std::string(NullDevice), (dir / "input.txt").string()})
    {
        std::fflush(stderr);
        const int savedIn = Dup(0), savedErr = Dup(2);
        ASSERT_TRUE(std::freopen(source.c_str(), "r", stdin)) << source;
        const std::string errors = source == NullDevice ? source : (dir / "errors.txt").string();
        ASSERT_TRUE(std::freopen(errors.c_str(), "w", stderr)) << errors;
        const bool stdinTerminal = orb::platform::IsStdinTerminal();
        const bool stderrTerminal = orb::platform::IsStderrTerminal();
        std::fflush(stderr);
        Dup2(savedIn, 0);
        Dup2(savedErr, 2);
        Close(savedIn);
        Close(savedErr);
        std::clearerr(stdin);
        EXPECT_FALSE(stdinTerminal) << source;
        EXPECT_FALSE(stderrTerminal) << source;
    }
}
