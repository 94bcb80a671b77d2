#pragma once
// Credentials for the Management Console and how to put them onto a libcurl easy handle.

#include <string>

typedef void CURL;

class AuthenticationClient
{
public:
    AuthenticationClient(std::string userName, std::string password);
    virtual ~AuthenticationClient();

    // Applies the credentials to a handle that is about to request url.
    virtual void authenticate(CURL* handle, const std::string& url) = 0;
    virtual std::string credentials() const;
    virtual void setUsername(const std::string& userName);
    virtual std::string username() const;
    virtual void setPassword(const std::string& password);
    virtual std::string password() const;

private:
    std::string m_userName;
    std::string m_password;
};
