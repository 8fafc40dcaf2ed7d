#include "launcher/ConnectionSettings.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"
#include "exception_dialog/SmartException.h"
#include "launcher/LoaderSettings.h"

#include <curl/curl.h>

#include <memory>

namespace orb
{

TAttributes ConnectionSettings;

namespace
{

std::string UrlPart(CURLU* Url, CURLUPart Part)
{
    char* value = nullptr;
    if (curl_url_get(Url, Part, &value, 0) != CURLUE_OK || value == nullptr)
        return "";
    std::string result(value);
    curl_free(value);
    return result;
}

/// Points Address at a candidate server. An address that cannot be read fails like a server that cannot be
/// reached, so that the next candidate is still asked.
void SetCandidateAddress(TURL& Address, const std::string& Candidate)
{
    try
    {
        Address.SetURL(Candidate);
    }
    catch (const EConvertError&)
    {
        TProgressRunner::RaiseRequestError(std::current_exception(), Candidate);
    }
}

} // namespace

std::string ReplaceHostAndPort(const std::string& Url, const std::string& Host, int Port)
{
    std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
    if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, Url.c_str(), 0) != CURLUE_OK)
        return "";
    const std::string scheme = UrlPart(parsed.get(), CURLUPART_SCHEME);
    const std::string user = UrlPart(parsed.get(), CURLUPART_USER);
    const std::string password = UrlPart(parsed.get(), CURLUPART_PASSWORD);
    const std::string path = UrlPart(parsed.get(), CURLUPART_PATH);
    const std::string query = UrlPart(parsed.get(), CURLUPART_QUERY);

    std::string result = scheme + "://";
    if (!user.empty())
        result += user + (password.empty() ? "" : ":" + password) + "@";
    result += Host;
    const int defaultPort = SameText(scheme, "https") ? 443 : SameText(scheme, "http") ? 80 : -1;
    if (Port != defaultPort)
        result += ":" + std::to_string(Port);
    result += path;
    if (!query.empty())
        result += "?" + query;
    return result;
}

std::vector<std::string> ConnectionServerCandidates(const xml::IXMLNodePtr& MainSettings,
                                                    const xml::IXMLNodePtr& ClientSettings,
                                                    const xml::IXMLNodePtr& UserSettings)
{
    std::vector<std::string> candidates;
    if (ClientSettings && !ClientSettings->Attributes("main_server").empty())
        candidates.push_back(ClientSettings->Attributes("main_server"));
    const auto entryServers = SettingsItems(SettingsElement(MainSettings, "entry_servers"));
    for (const auto& item : entryServers)
        candidates.push_back(item->Attributes("url"));
    const auto alternate = SettingsElement(UserSettings, "alternate_server");
    if (alternate && !alternate->Attributes("server").empty())
    {
        // The alternate server takes the address of the first entry server that can be read, so that one broken
        // item does not silently drop the server the user chose.
        for (const auto& item : entryServers)
        {
            const std::string url = ReplaceHostAndPort(item->Attributes("url"), alternate->Attributes("server"),
                                                       StrToIntDef(alternate->Attributes("port"), 0));
            if (!url.empty())
            {
                candidates.push_back(url);
                break;
            }
        }
    }
    return candidates;
}

void FetchConnectionSettings(const std::string& Entry, const TConnectionSettingsSources& Sources)
{
    TXMLDataProvider& provider = *Sources.DataProvider;
    TProgressRunner& progress = *Sources.Progress;
    TAttributes& settings = *Sources.ConnectionSettings;

    const std::vector<std::string> candidates =
        ConnectionServerCandidates(Sources.MainSettings, Sources.ClientSettings, Sources.UserSettings);
    for (size_t i = 0; i < candidates.size(); ++i)
    {
        try
        {
            SetCandidateAddress(provider.HTTP.URL, candidates[i]);
            provider.HTTP.URL.Parameters.SetValues("entry", Entry);
            progress.HTTPRequest(provider.HTTP);
            break;
        }
        catch (const ESmartException&)
        {
            if (i + 1 == candidates.size())
                throw;
        }
    }

    // The answer is 8-bit text in the ANSI code page.
    settings.SetText(AnsiToUtf8(progress.HTTPResponse));
    settings.Normalize();
    if (settings.Contains("exception"))
        throw EInformationException(settings.Values("exception"));
    if (settings.Contains(Sources.MainSettings->Attributes("update_url")))
        return;
    throw Exception("Bad connection settings:\r\n" + provider.HTTP.URL.URL_String() + "\r\n" + settings.Text());
}

void FetchConnectionSettings(const std::string& Entry, TXMLDataProvider& DataProvider, TProgressRunner& Progress)
{
    FetchConnectionSettings(Entry, TConnectionSettingsSources{.MainSettings = MainSettings,
                                                              .ClientSettings = ClientSettings,
                                                              .UserSettings = UserSettings,
                                                              .DataProvider = &DataProvider,
                                                              .Progress = &Progress,
                                                              .ConnectionSettings = &ConnectionSettings});
}

} // namespace orb
