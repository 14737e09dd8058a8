#pragma once

// The services Dravelin talks to: their codes, names, default hosts and the
// request paths of their web gateways, kept in one place.

#include <cstdint>

enum ServiceCode : int32_t
{
    ServiceNewsGuy = 1,
    ServiceNewsGuyExtra = 2,
    ServiceWebUseNet = 4,
    ServiceWebUseNetMembers = 8,
    ServiceEasyNews = 16,
};

namespace GatewayHosts
{
// Default hosts (the user may point an account anywhere, host:port included).
inline constexpr const char* kNewsGuyHeaderHost = "www.newsguy.com";
inline constexpr const char* kNewsGuyDownloadHost = "dl.newsguy.com";
inline constexpr const char* kWebUseNetHost = "www.webusenet.com";
inline constexpr const char* kWebUseNetMembersHost = "members.webusenet.com";
inline constexpr const char* kEasyNewsMembersHost = "members.easynews.com";

// Request paths.
inline constexpr const char* kNewsGuyListPath = "news-bin/wwwlist?-s";
inline constexpr const char* kNewsGuyDecodePath = "news-bin/wwwdecode?";
inline constexpr const char* kWebUseNetDecodePath = "drn-bin/wwwdecode?";
inline constexpr const char* kEasyNewsGroupPath = "group.html?group=";

inline constexpr int kEasyNewsAltPort = 81;
} // namespace GatewayHosts
