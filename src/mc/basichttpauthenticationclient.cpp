#include "mc/basichttpauthenticationclient.h"

#include <curl/curl.h>

#include <utility>

BasicHttpAuthenticationClient::BasicHttpAuthenticationClient(std::string userName, std::string password)
    : AuthenticationClient(std::move(userName), std::move(password))
{}

BasicHttpAuthenticationClient::~BasicHttpAuthenticationClient() = default;

void BasicHttpAuthenticationClient::authenticate(CURL* handle, const std::string& url)
{
    (void)url; // Basic credentials do not depend on the target
    // Basic only: libcurl then sends the credentials with the first request instead of waiting for
    // a challenge. libcurl copies the text.
    curl_easy_setopt(handle, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
    curl_easy_setopt(handle, CURLOPT_USERPWD, credentials().c_str());
}
