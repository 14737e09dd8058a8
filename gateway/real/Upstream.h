#pragma once

// The NNTP server a gateway fronts, as a user names it: an address
// "nntp://HOST[:PORT]" or "nntps://HOST[:PORT]" (implicit TLS), and the
// login from a private file or the environment, never from a command line
// (where every user of the machine could read it).

#include "nntp/NntpPool.h"

#include <string>

class CUpstream
{
public:
    // Host, port and TLS from the address; false with the reason.
    static bool ParseAddress(const std::string& strAddress, usenet::SServerConfig& config, std::string& strError);
    // A file of lines "user=NAME" and "password=SECRET" ('#' starts a
    // comment line). It must be the user's own and readable by nobody else
    // (mode 0600 or stricter); a looser file is refused.
    static bool ReadCredentials(const std::string& strPath, usenet::SServerConfig& config, std::string& strError);
    // DRAVELIN_NNTP_USER and DRAVELIN_NNTP_PASSWORD, when set.
    static void CredentialsFromEnvironment(usenet::SServerConfig& config);
};
