#pragma once

#include "base/Attributes.h"
#include "net/ProgressRunner.h"
#include "net/XMLDataProvider.h"
#include "xml/VuvareXMLNode.h"

#include <string>
#include <vector>

namespace orb
{

/// The normalised answer of the configuration server, extended by the login into the client's parameters.
extern TAttributes ConnectionSettings;

/// What fetching the connection settings reads, runs its requests through and fills.
struct TConnectionSettingsSources
{
    /// Root of main_loader_settings.xml (entry_servers, update_url).
    xml::IXMLNodePtr MainSettings;
    /// Root of client_loader_settings.xml (main_server).
    xml::IXMLNodePtr ClientSettings;
    /// Root of user_loader_settings.xml (alternate_server).
    xml::IXMLNodePtr UserSettings;
    /// The shared provider whose HTTP provider and address are used.
    TXMLDataProvider* DataProvider = nullptr;
    /// The connection progress window's request runner.
    TProgressRunner* Progress = nullptr;
    /// Receives the normalised answer (the process-wide ConnectionSettings).
    TAttributes* ConnectionSettings = nullptr;
};

/// The configuration servers to ask, in order: the client file's main_server, every entry server, and the first
/// entry server rebuilt for the user's alternate server.
std::vector<std::string> ConnectionServerCandidates(const xml::IXMLNodePtr& MainSettings,
                                                    const xml::IXMLNodePtr& ClientSettings,
                                                    const xml::IXMLNodePtr& UserSettings);

/// Url rebuilt from its parts with Host and Port in place of its own; the port is left out when it is the
/// scheme's default. An address that cannot be parsed gives "".
std::string ReplaceHostAndPort(const std::string& Url, const std::string& Host, int Port);

/// Asks the configuration servers in turn for the settings of Entry and stores the first answer, normalised, in
/// Sources.ConnectionSettings. Raises the last server's ESmartException when all fail, EInformationException
/// with the server's "exception" text, or an Exception "Bad connection settings" when the answer lacks the key
/// named by the main file's update_url.
void FetchConnectionSettings(const std::string& Entry, const TConnectionSettingsSources& Sources);

/// The same with the loaded settings files and the process-wide ConnectionSettings.
void FetchConnectionSettings(const std::string& Entry, TXMLDataProvider& DataProvider, TProgressRunner& Progress);

} // namespace orb
