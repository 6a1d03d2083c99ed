#include "network_check.h"

#include <objbase.h>
#include <netlistmgr.h>

#include "log.h"

namespace Utils {

namespace {

// Own copies of the public GUIDs, so no import library has to provide them.
constexpr CLSID kClsidNetworkListManager = {
    0xdcb00c01, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};
constexpr IID kIidINetworkListManager = {
    0xdcb00000, 0x570f, 0x4a9b, {0x8d, 0x69, 0x19, 0x9f, 0xdb, 0xa5, 0x72, 0x3b}};

} // namespace

DWORD ComposeNetworkResult(DWORD connectivity, bool connectedToInternet)
{
    const DWORD flags = connectivity & 0xFFFF;
    DWORD status = kNetworkOk;
    if (flags == 0) {
        status = kNetworkNone;
    } else if (!connectedToInternet) {
        status = kNetworkNoInternet;
    }
    return (status << 16) | flags;
}

DWORD NetworkStatus(DWORD result)
{
    return result >> 16;
}

DWORD NetworkFlags(DWORD result)
{
    return result & 0xFFFF;
}

DWORD CheckNetwork()
{
    INetworkListManager* manager = nullptr;
    if (FAILED(::CoCreateInstance(kClsidNetworkListManager, nullptr, CLSCTX_ALL, kIidINetworkListManager,
                                  reinterpret_cast<void**>(&manager))) ||
        manager == nullptr) {
        return 0;
    }
    // A failed call leaves the negative answer in place.
    NLM_CONNECTIVITY connectivity = NLM_CONNECTIVITY_DISCONNECTED;
    manager->GetConnectivity(&connectivity);
    const DWORD flags = static_cast<DWORD>(connectivity);
    VARIANT_BOOL internet = VARIANT_FALSE;
    if (flags == 0) {
        LOG_LINE(L"GetConnectivity %d\r\n", static_cast<int>(flags));
    } else {
        // MinGW names the get_IsConnectedToInternet property getter without "get_".
        manager->IsConnectedToInternet(&internet);
        if (internet == VARIANT_FALSE) {
            LOG_LINE(L"get_IsConnectedToInternet:%d\r\n", static_cast<int>(internet));
        }
    }
    manager->Release();
    ::CoFreeUnusedLibraries();
    return ComposeNetworkResult(flags, internet != VARIANT_FALSE);
}

} // namespace Utils
