#include "base/Exceptions.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace orb;

TEST(Exceptions, ClassNamesAreTheSystemsOwn)
{
    EXPECT_EQ(ExceptionClassName(EConvertError("x")), "EConvertError");
    EXPECT_EQ(ExceptionClassName(EOSError(2, "x")), "EOSError");
    EXPECT_EQ(ExceptionClassName(EInOutError(5, "x")), "EInOutError");
    EXPECT_EQ(ExceptionClassName(Exception("x")), "Exception");
    EXPECT_EQ(ExceptionClassName(std::runtime_error("x")), "Exception");
    EXPECT_EQ(ExceptionClassName(std::bad_alloc()), "EOutOfMemory");
    const Exception& asBase = EInformationException("info");
    EXPECT_EQ(asBase.ClassName(), "EInformationException");
    EXPECT_STREQ(asBase.what(), "info");
}

TEST(Exceptions, OSErrorsKeepTheirCode)
{
    EOSError e(13, "denied");
    EXPECT_EQ(e.ErrorCode, 13);
    EXPECT_FALSE(SysErrorMessage(13).empty());
}
