#include <winsim_host.h>

#include "../core/machine.h"

// Simplified: one proxy for every scheme and no bypass list; "host:port" as netsh stores it, or a full URI.
std::string WinsimWinHttpProxy() {
    const auto view = winsim::Machine::Instance().Snapshot();
    const winsim::Json& snap = *view;
    if (!snap.has_field("winhttp")) return "";
    std::string proxy = winsim::StringAt(snap.at("winhttp"), "proxy", "");
    if (proxy.empty() || proxy.find("://") != std::string::npos) return proxy;
    return "http://" + proxy;
}
