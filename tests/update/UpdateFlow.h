#pragma once

#include "base/Views.h"
#include "support/ScriptedViews.h"
#include "support/TempDir.h"
#include "update/Installation.h"
#include "update/Unit_Updater.h"
#include "update/UpdateCache.h"
#include "xml/XML_Utils.h"

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace orb::test
{

/// The update window as the worker drives it: every report recorded, with a hook run after each.
class TRecordingProgress : public IUpdateProgress
{
public:
    std::vector<std::string> Files, FileTexts, TotalTexts;
    std::vector<int> FilePositions, TotalPositions;
    std::vector<bool> LoginWindowVisible;
    /// Runs on the user-interface thread after each complete report (file and total set).
    std::function<void()> OnReport;

    void SetUpdatingFile(const std::string& FileName) override { Files.push_back(FileName); }
    void SetFileProgress(const std::string& Text, int Position) override
    {
        FileTexts.push_back(Text);
        FilePositions.push_back(Position);
    }
    void SetTotalProgress(const std::string& Text, int Position) override
    {
        TotalTexts.push_back(Text);
        TotalPositions.push_back(Position);
        if (OnReport)
            OnReport();
    }
    void SetLoginWindowVisible(bool Visible) override { LoginWindowVisible.push_back(Visible); }
};

/// Window-less views with a recording update window, installed for one test.
struct TUpdateViews
{
    TScriptedViews Views;
    TRecordingProgress Progress;
    TUpdateViews()
    {
        InstallViews({.MainThread = &Views.MainThread,
                      .Dialogs = &Views.Dialogs,
                      .ModalWait = &Views.ModalWait,
                      .UpdateProgress = &Progress});
    }
};

/// What the login flow does with an index: under the update lock, the cache check, the downloads behind the update
/// window, and for a new installation the archives unpacked, the files flushed and the index saved. Returns the
/// installation directory.
inline std::filesystem::path RunUpdate(const xml::IXMLNodePtr& Root, const std::filesystem::path& AppDir,
                                       const std::filesystem::path& OldDir, const std::string& Base,
                                       const std::string& PrivateBase = "", TUpdateRunner* Runner = nullptr)
{
    TUpdateRunner own;
    return UpdateInstallation(Root, Runner ? *Runner : own, Base, PrivateBase, {}, AppDir, OldDir);
}

/// Every file below Dir except "index.xml" at the top and what Skip names: relative path -> time stamp (2-second
/// resolution), size and hash of the content.
inline std::map<std::string, std::string> TreeListing(const std::filesystem::path& Dir,
                                                      const std::function<bool(const std::string&)>& Skip = {})
{
    std::map<std::string, std::string> out;
    for (auto& e : std::filesystem::recursive_directory_iterator(Dir))
    {
        auto rel = std::filesystem::relative(e.path(), Dir).string();
        if (rel == "index.xml" || (Skip && Skip(rel)))
            continue;
        if (e.is_directory())
        {
            out[rel + "/"] = "";
            continue;
        }
        TIndexTime t;
        TryGetLocalFileTime(e.path(), t);
        std::string bytes = ReadBytes(e.path());
        // Times as the launcher stores them; contents by size and hash, so that a difference reads well.
        out[rel] = FormatIndexTime(RoundToDosTime(t)) + " " + std::to_string(bytes.size()) + " bytes #" +
                   std::to_string(std::hash<std::string>{}(bytes));
    }
    return out;
}

} // namespace orb::test
