#include "settings/ServiceRoutes.h"

#include <map>
#include <mutex>

namespace
{
std::mutex g_routesLock;
std::map<int32_t, std::string> g_routes;
} // namespace

void CServiceRoutes::Set(int32_t nService, const std::string& strHostPort)
{
    std::lock_guard lock(g_routesLock);
    if (strHostPort.empty())
        g_routes.erase(nService);
    else
        g_routes[nService] = strHostPort;
}

std::string CServiceRoutes::Get(int32_t nService)
{
    std::lock_guard lock(g_routesLock);
    auto it = g_routes.find(nService);
    return it == g_routes.end() ? std::string() : it->second;
}

void CServiceRoutes::Clear()
{
    std::lock_guard lock(g_routesLock);
    g_routes.clear();
}
