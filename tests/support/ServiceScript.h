// Scripting the machine's services: extra services, how their stops and starts play out over machine
// time, and what the service manager recorded.
#pragma once
#include <control.h>

#include <string>
#include <vector>

namespace testsupport {

inline void AddService(const std::string& name, const std::string& dependsOn, int state = 4 /* running */) {
    winsim::control::Change([&](winsim::control::Json& m) {
        winsim::control::Json s = winsim::control::Json::object();
        s["name"] = winsim::control::Json::string(name);
        s["state"] = winsim::control::Json::number(state);
        s["dependsOn"] = winsim::control::Json::array();
        if (!dependsOn.empty()) s["dependsOn"][0] = winsim::control::Json::string(dependsOn);
        m["services"][m["services"].size()] = s;
    });
}

// which: "stop" or "start"; takesMs -1 never ends; checkPointEveryMs 0 never moves the check point.
inline void ScriptService(const std::string& name, const char* which, int64_t takesMs, int64_t waitHint,
                          int64_t checkPointEveryMs = 0, int64_t checkPointStallsAfterMs = -1) {
    winsim::control::Change([&](winsim::control::Json& m) {
        for (size_t i = 0; i < m["services"].size(); ++i) {
            if (m["services"][i]["name"].as_string() != name) continue;
            winsim::control::Json& plan = m["services"][i][which];
            plan["takesMs"] = winsim::control::Json::number(takesMs);
            plan["waitHint"] = winsim::control::Json::number(waitHint);
            plan["checkPointEveryMs"] = winsim::control::Json::number(checkPointEveryMs);
            plan["checkPointStallsAfterMs"] = winsim::control::Json::number(checkPointStallsAfterMs);
        }
    });
}

// The service's recorded stop requests and starts as "stop@ms" / "start@ms", "!error" when refused.
inline std::vector<std::string> ServiceHistory(size_t service) {
    std::vector<std::string> out;
    winsim::control::Json s = winsim::control::Read().at("services").at(service);
    if (!s.has_field("history")) return out;
    for (const winsim::control::Json& e : s.at("history").as_array()) {
        std::string line = e.at("event").as_string() + "@" + std::to_string(e.at("atMs").as_integer());
        if (e.has_field("error")) line += "!" + std::to_string(e.at("error").as_integer());
        out.push_back(line);
    }
    return out;
}

inline int64_t ServiceState(size_t service) {
    return winsim::control::Read().at("services").at(service).at("state").as_integer();
}

}  // namespace testsupport
