// Feeds one answer body through every place that reads a service answer: the page and error handling of the
// registration exchange, the registration result, the per-field warnings, and the password service's 400 answer.

#include "registration/RegistrationExchange.h"
#include "registration/RestConnection.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size)
{
    using namespace orb;
    std::string body(reinterpret_cast<const char*>(Data), Size);

    TRegistrationExchange exchange;
    auto page0 = std::make_unique<TBundleFields>();
    auto entry = std::make_unique<TRField>();
    entry->Id = "entry";
    entry->SetCurrentValue("demo");
    page0->Add(std::move(entry));
    exchange.Fields.AddBundle(std::move(page0));

    // A page answer in the page phase (no request is sent from here), twice so that repeated ids meet.
    for (int round = 0; round < 2; ++round)
    {
        exchange.SetState(rsStarted);
        exchange.Response = body;
        exchange.HandleAnswer();
    }
    (void)exchange.Fields.GetParams();
    for (const auto& page : exchange.Fields.Pages)
        (void)page->LocalValidateFields("accept");
    exchange.Fields.MarkFields(body);

    exchange.SetState(rsRegistrateBegin);
    exchange.HandleAnswer();

    TResetPasswordConnection connection;
    try
    {
        connection.HandleHttpError(std::make_exception_ptr(EHTTPProtocolException(400, "HTTP/1.1 400", "", body)));
    }
    catch (const EMarenApi&)
    {}
    return 0;
}
