#pragma once
// HTTP Basic authentication for libcurl transfers to the Management Console.

#include "mc/authenticationclient.h"

class BasicHttpAuthenticationClient : public virtual AuthenticationClient
{
public:
    BasicHttpAuthenticationClient(std::string userName, std::string password);
    ~BasicHttpAuthenticationClient() override;

    void authenticate(CURL* handle, const std::string& url) override;
};
