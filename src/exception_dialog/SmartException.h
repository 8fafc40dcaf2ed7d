#pragma once

#include "base/Exceptions.h"
#include "exception_dialog/CallStack.h"
#include "xml/VuvareXMLNode.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace orb
{

/// The system's own error for reported failures: wraps the exception that caused it, names the object
/// on whose behalf it is reported, and carries a code and free-text details (for example a request's URL).
class ESmartException : public Exception
{
public:
    /// With a parent the message is the parent's; without one it is "INTERNAL EXCEPTION".
    explicit ESmartException(std::string Sender, std::exception_ptr ParentException = nullptr);

    /// The class name of the object on whose behalf the error is reported.
    std::string Sender;
    /// The wrapped exception, or nullptr.
    std::exception_ptr ParentException;
    /// A numeric code set by the raiser.
    int32_t Code = 0;
    /// Free text set by the raiser (several lines allowed).
    std::string Details;
    /// An XML node the raiser may attach; not part of the report.
    xml::IXMLNodePtr XMLDetails;

    std::string ClassName() const override { return "ESmartException"; }
};

/// The report behind the exception dialog: builds the text of a report and keeps what the dialog shows
/// (the message of the simple view and the entries of the detailed view).
class TSmartExceptionReport
{
public:
    /// "Orb_Loader " followed by the launcher's version; set at start-up.
    std::string ApplicationInfo;
    /// Whether the operating system's description is part of the report.
    bool ShowWindowsVersion = true;
    /// The message of the simple view (set by MakeException with UpdateGUI).
    std::string LabelInfo;
    /// The entries of the detailed view (set by MakeException with UpdateGUI); one entry may hold several lines.
    std::vector<std::string> Memo;

    /// Builds the report of E raised on behalf of Sender (a class name); with UpdateGUI it also fills
    /// LabelInfo and Memo.
    std::string MakeException(const std::string& Sender, const std::exception& E, bool UpdateGUI,
                              const std::string& AdditionalText);
    /// As above for an exception handed over as a pointer (any type).
    std::string MakeException(const std::string& Sender, const std::exception_ptr& E, bool UpdateGUI,
                              const std::string& AdditionalText);
    /// The report of E without touching LabelInfo and Memo.
    std::string GetExceptionDetails(const std::string& Sender, const std::exception& E);
    /// As above for an exception handed over as a pointer.
    std::string GetExceptionDetails(const std::string& Sender, const std::exception_ptr& E);

    /// For a worker thread that caught E and hands it to the main thread: keeps the stack E was thrown
    /// with for the next report.
    void SaveExceptionCallStack(const std::exception& E);
    /// The stack a worker saved for the next report, as text; empty when none.
    std::string SavedCallStack() const;
    /// The stack of the last report (with a worker's saved stack in front of it), as text.
    std::string LastExceptionCallStack() const;
    /// The whole text of the detailed view, as Copy puts it on the clipboard.
    std::string MemoText() const;

private:
    mutable std::mutex FLock;
    TCallStack FSavedCallStack;
    std::string FLastExceptionCallStack;
};

/// A width and a height in pixels.
struct TDialogSize
{
    int Width = 0;
    int Height = 0;
    bool operator==(const TDialogSize&) const = default;
};

/// The state and geometry of the report dialog's two views, kept apart from the window so that the window
/// only binds: which view shows, the button captions, the sizes and positions.
class TSmartExceptionView
{
public:
    /// The dialog's translated strings (its property manager's GetString); the defaults when unset.
    std::function<std::string(const std::string& ID, const std::string& Default)> GetString;
    /// True while the detailed view (the report text) shows, false for the simple view (the message).
    bool DetailsVisible = false;
    /// Caption of the Details button: the name of the view it switches to.
    std::string DetailsCaption = "Details";
    /// Caption of the Copy button.
    std::string CopyCaption = "Copy";
    /// Caption of the OK button; never translated.
    std::string OkCaption = "OK";

    /// Smallest size of the dialog.
    static constexpr TDialogSize MinimumSize{360, 130};

    /// Takes the Copy caption from the translated strings (after the dialog's translation).
    void CreateButtons();
    /// Switches to the message view.
    void ShowSimple();
    /// Switches to the report view.
    void ShowDetails();
    /// The Details button: the other view.
    void ToggleDetails();

    /// The size of the simple view from the picture's width, the label's natural size and the button panel.
    static TDialogSize SimpleSize(int ImageWidth, int LabelWidth, int LabelHeight, int PanelHeight);
    /// The size of the details view: a third of the work area high, at least half of it wide.
    static TDialogSize DetailsSize(int CurrentWidth, int WorkAreaWidth, int WorkAreaHeight);
    /// The left or top edge that centres Extent in a work area starting at Origin, by integer halves.
    static int Centre(int Origin, int WorkAreaExtent, int Extent);
    /// The left edge of action button Number (Details 1, Copy 2, OK 3) on a panel of PanelWidth.
    static int ButtonLeft(int PanelWidth, int ButtonWidth, int Number);

private:
    std::string Text(const std::string& ID, const std::string& Default) const;
};

/// The one report of the process.
TSmartExceptionReport& SmartExceptionReport();

/// Keeps the stack of E (caught by a worker thread) for the next report.
void SaveExceptionCallStack(const std::exception& E);

/// The running operating system's description for the report, built once.
std::string WindowsVersionText();

/// Class name and message of an exception handed over as a pointer ("Exception" and a generic text for
/// objects that are not exceptions).
void DescribeException(const std::exception_ptr& E, std::string& ClassName, std::string& Message);

/// The one place where errors are shown: information as a plain message, everything else as the exception report
/// raised on behalf of SenderClassName.
void ApplicationEventsException(const std::string& SenderClassName, const std::exception_ptr& E);

} // namespace orb
