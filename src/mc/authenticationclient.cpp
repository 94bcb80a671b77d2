#include "mc/authenticationclient.h"

#include <utility>

AuthenticationClient::AuthenticationClient(std::string userName, std::string password)
    : m_userName(std::move(userName)), m_password(std::move(password))
{}

AuthenticationClient::~AuthenticationClient()
{
    // Overwrite before release so the password does not linger in freed memory.
    m_password.assign(m_password.size(), '\0');
    m_userName.clear();
    m_password.clear();
}

std::string AuthenticationClient::credentials() const
{
    return m_userName + ":" + m_password;
}

void AuthenticationClient::setUsername(const std::string& userName)
{
    m_userName = userName;
}

std::string AuthenticationClient::username() const
{
    return m_userName;
}

void AuthenticationClient::setPassword(const std::string& password)
{
    m_password = password;
}

std::string AuthenticationClient::password() const
{
    return m_password;
}
