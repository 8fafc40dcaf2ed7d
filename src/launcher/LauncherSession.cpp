#include "launcher/LauncherSession.h"

#include "exception_dialog/SmartException.h"
#include "launcher/ConnectionSettings.h"
#include "launcher/ExeVersion.h"
#include "launcher/LoaderSettings.h"
#include "localisation/Unit_Language.h"
#include "net/HTTPDataProvider.h"

namespace orb
{

TLauncherSession::TLauncherSession(const std::filesystem::path& Directory, bool LoadLanguage)
    : FOwnsLanguage(LoadLanguage)
{
    LoadLoaderSettings(Directory);
    if (LoadLanguage)
        LanguageTable = std::make_unique<TLanguage>();
    SmartExceptionReport().ApplicationInfo = "Orb_Loader " + ExeVersion.VersionText();

    // An installation may bring its own certificate authority for its servers: the shared provider and every
    // client made later trust it beside the system's.
    const std::string caFile = MainSettings->Attributes("ca_file");
    SetDefaultCAFile(caFile);
    DataProvider.HTTP.HTTP_Client.CAFile = caFile;
    DataProvider.HTTP.HTTP_Client.ReadTimeout = SharedReadTimeout;
    DataProvider.HTTP.SetCompression(true);
    ConnectionSettings.Clear();
    // Only providers made from here on send it; the shared one keeps its initial agent text.
    SetDefaultUserAgent("ORB_LOADER " + ExeVersion.VersionText());
}

TLauncherSession::~TLauncherSession()
{
    if (FOwnsLanguage)
        LanguageTable.reset();
}

void TLauncherSession::Start()
{
    Flow.Start();
}

} // namespace orb
