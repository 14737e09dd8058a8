#pragma once

#include <cstdint>
#include <string>

// Process-wide: a service whose header and download hosts are, for this run
// only, a gateway inside the program (the Usenet gateway on a loopback port).
// The front ends set it at start-up, before the document reads its accounts.
// Loading an account puts the route in its host fields; saving accounts keeps
// the file's own hosts wherever an account still holds the route, so the
// loopback port, which changes at every start, never lands in the file.
class CServiceRoutes
{
public:
    static void Set(int32_t nService, const std::string& strHostPort);
    // "" when the service has no route.
    static std::string Get(int32_t nService);
    static void Clear();
};
