#pragma once

#include "base/Attributes.h"

#include <string>

namespace orb
{

/// The kind of a request body.
enum TBodyType
{
    btBinary = 0,
    btText = 1,
    btParameters = 2,
};

/// The address of one HTTP request as separate parts, with ordered query parameters and an optional body.
class TURL
{
public:
    TURL() = default;

    /// "http", "https", or "file" after SetURL of a local address.
    std::string Protocol;
    /// Host name or address.
    std::string Host;
    /// TCP port; always written out by URL_String.
    int Port = 0;
    /// Directory part with its leading and trailing "/" (for example /a/b/).
    std::string Path;
    /// Last part of the address (for example index.xml); may be empty.
    std::string Document;
    /// Query parameters as name=value lines; their order is the order on the wire.
    TAttributes Parameters;
    /// Request body; when not empty the request is a POST.
    std::string Body;
    /// Kind of Body.
    TBodyType BodyType = btBinary;
    /// User name for Digest authentication.
    std::string UserName;
    /// Password for Digest authentication.
    std::string Password;
    /// When true parameter values are sent as UTF-8, otherwise in the 8-bit code page (Windows-1252).
    bool UTF8_Parameters = false;

    /// Splits an address text into the parts. The query of the text is dropped: parameters are added afterwards.
    /// Raises EConvertError for a text that is no address or names a port that is not a number.
    void SetURL(const std::string& URL_String);
    /// The address text to send: protocol, host, port (always), path, document and the encoded parameters.
    std::string URL_String() const;
    /// A readable description of the whole request (address and body), for request logs.
    std::string RequestString() const;
    /// The parameters as "name=value" pairs joined by "&", percent-encoded byte by byte.
    std::string EncodedParameters() const;
    /// Empties Parameters and Body; BodyType := btText.
    void ClearParameters();
    /// Body := the encoded parameters, BodyType := btParameters, Parameters emptied: the request becomes a form POST.
    void MoveParametersToBody();
};

/// Percent-encodes bytes as form parameters do: a space becomes "+", letters, digits and ! ' ( ) * - . _ ~ stay,
/// every other byte becomes "%" and two upper-case hexadecimal digits.
std::string EncodeParameterBytes(std::string_view Bytes);

} // namespace orb
