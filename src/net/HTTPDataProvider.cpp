#include "net/HTTPDataProvider.h"

#include "base/Exceptions.h"
#include "base/TextUtils.h"

#include <curl/curl.h>

#include <memory>
#include <new>

namespace orb
{

namespace
{

struct UrlDeleter
{
    void operator()(CURLU* Url) const { curl_url_cleanup(Url); }
};

struct CurlText
{
    char* Text = nullptr;
    ~CurlText() { curl_free(Text); }
};

// One part of a parsed address; empty when the address has none.
std::string GetPart(CURLU* Url, CURLUPart Part, CURLUcode* Code = nullptr)
{
    CurlText part;
    CURLUcode rc = curl_url_get(Url, Part, &part.Text, 0);
    if (Code)
        *Code = rc;
    return rc == CURLUE_OK && part.Text ? std::string(part.Text) : std::string();
}

bool IsUnreserved(unsigned char C)
{
    if ((C >= 'A' && C <= 'Z') || (C >= 'a' && C <= 'z') || (C >= '0' && C <= '9'))
        return true;
    switch (C)
    {
    case '!':
    case '\'':
    case '(':
    case ')':
    case '*':
    case '-':
    case '.':
    case '_':
    case '~':
        return true;
    default:
        return false;
    }
}

} // namespace

std::string EncodeParameterBytes(std::string_view Bytes)
{
    static const char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Bytes.size() * 3);
    for (char ch : Bytes)
    {
        auto c = static_cast<unsigned char>(ch);
        if (c == ' ')
            out += '+';
        else if (IsUnreserved(c))
            out += static_cast<char>(c);
        else
        {
            out += '%';
            out += Hex[c >> 4];
            out += Hex[c & 0x0F];
        }
    }
    return out;
}

void TURL::SetURL(const std::string& URL_String)
{
    // A local address keeps everything after "file://" as written (it may hold drive letters and
    // backslashes, which no URI parser accepts).
    if (URL_String.rfind("file://", 0) == 0)
    {
        Protocol = "file";
        std::string rest = URL_String.substr(7);
        // Backslash and colon end the folder part as on Windows; the slash too, this system's separator.
        auto cut = rest.find_last_of("\\:/");
        Path = cut == std::string::npos ? std::string() : rest.substr(0, cut + 1);
        Document = cut == std::string::npos ? rest : rest.substr(cut + 1);
        return;
    }

    std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    if (!url)
        throw std::bad_alloc();
    CURLUcode rc = curl_url_set(url.get(), CURLUPART_URL, URL_String.c_str(),
                                CURLU_NON_SUPPORT_SCHEME | CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE);
    if (rc == CURLUE_BAD_PORT_NUMBER)
        throw EConvertError("Invalid port number in the address \"" + URL_String + "\"");
    if (rc != CURLUE_OK)
        throw EConvertError("Invalid address \"" + URL_String + "\": " + curl_url_strerror(rc));

    Protocol = GetPart(url.get(), CURLUPART_SCHEME);
    Host = GetPart(url.get(), CURLUPART_HOST);
    CURLUcode portRc;
    std::string port = GetPart(url.get(), CURLUPART_PORT, &portRc);
    if (portRc == CURLUE_OK && !port.empty())
        Port = StrToInt(port);
    else
        Port = SameText(Protocol, "https") ? 443 : 80;
    std::string path = GetPart(url.get(), CURLUPART_PATH);
    if (path.empty() || path[0] != '/')
        path.insert(0, "/");
    auto slash = path.rfind('/');
    Path = path.substr(0, slash + 1);
    Document = path.substr(slash + 1);
    ClearParameters();
}

std::string TURL::EncodedParameters() const
{
    std::string out;
    for (int i = 0; i < Parameters.Count(); ++i)
    {
        if (i > 0)
            out += '&';
        std::string value = Parameters.ValueFromIndex(i);
        out += EncodeParameterBytes(Utf8ToAnsi(Parameters.Names(i)));
        out += '=';
        out += EncodeParameterBytes(UTF8_Parameters ? value : Utf8ToAnsi(value));
    }
    return out;
}

std::string TURL::URL_String() const
{
    std::string out = Protocol + "://" + Host + ":" + std::to_string(Port) + Path + Document;
    if (Parameters.Count() > 0)
        out += "?" + EncodedParameters();
    return out;
}

std::string TURL::RequestString() const
{
    std::string out = URL_String();
    if (Body.empty())
        return out;
    if (BodyType != btBinary)
        out += "\r\nPOST\r\n" + Body;
    else
        out += "\r\n<<POST " + std::to_string(Body.size()) + " BYTES OF BINARY DATA>>";
    return out;
}

void TURL::ClearParameters()
{
    Parameters.Clear();
    Body.clear();
    BodyType = btText;
}

void TURL::MoveParametersToBody()
{
    Body = EncodedParameters();
    BodyType = btParameters;
    Parameters.Clear();
}

} // namespace orb
