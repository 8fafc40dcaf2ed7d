#pragma once

#include <exception>
#include <string>

namespace orb
{

/// Root of every error the system raises: a message and the system's own class name for reports.
class Exception : public std::exception
{
public:
    explicit Exception(std::string Msg) : Message(std::move(Msg)) {}

    /// The text shown to the user.
    std::string Message;

    /// The system's class name of the error (for example "EConvertError"), shown in error reports.
    virtual std::string ClassName() const { return "Exception"; }

    const char* what() const noexcept override { return Message.c_str(); }
};

/// Declares an error class that only renames its base.
#define ORB_DECLARE_EXCEPTION(Name, Base)                                                                             \
    class Name : public Base                                                                                           \
    {                                                                                                                  \
    public:                                                                                                            \
        using Base::Base;                                                                                              \
        std::string ClassName() const override { return #Name; }                                                      \
    };

/// A text that does not convert to the wanted type.
ORB_DECLARE_EXCEPTION(EConvertError, Exception)
/// An index outside a list.
ORB_DECLARE_EXCEPTION(EListError, Exception)
/// A message meant as information rather than as a fault; shown in a plain message box.
ORB_DECLARE_EXCEPTION(EInformationException, Exception)
/// A user's cancellation that needs no report.
ORB_DECLARE_EXCEPTION(EAbort, Exception)

/// A failed call of the operating system, with its error code.
class EOSError : public Exception
{
public:
    EOSError(int Code, std::string Msg) : Exception(std::move(Msg)), ErrorCode(Code) {}
    /// The operating system's error number.
    int ErrorCode;
    std::string ClassName() const override { return "EOSError"; }
};

/// A file that cannot be opened, created, read or written.
class EInOutError : public Exception
{
public:
    EInOutError(int Code, std::string Msg) : Exception(std::move(Msg)), ErrorCode(Code) {}
    /// The operating system's error number.
    int ErrorCode;
    std::string ClassName() const override { return "EInOutError"; }
};

/// The text of an operating-system error number, as the system describes it.
std::string SysErrorMessage(int Code);

/// The system's class name of any exception: ClassName() for our own, a readable name for the standard ones.
std::string ExceptionClassName(const std::exception& E);

} // namespace orb
