#include "inf.h"

#include <fstream>
#include <map>
#include <sstream>

#include "devices.h"
#include "text.h"

namespace winsim {
namespace {

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return std::string();
    size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string Unquote(const std::string& s) {
    std::string t = Trim(s);
    if (t.size() >= 2 && t.front() == '"' && t.back() == '"') return t.substr(1, t.size() - 2);
    return t;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

// Simplified: every "name"=section,hwid[,hwid...] line of a section named in [Manufacturer] (with or
// without its platform decoration) is a model; %strings% are resolved from [Strings].
bool ReadInfModels(const std::string& hostPath, std::vector<InfModel>* models) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) return false;
    std::map<std::string, std::vector<std::string>> sections;
    std::string line, current;
    while (std::getline(in, line)) {
        line = MendUtf8(line);  // its names reach the machine file
        size_t semi = line.find(';');
        if (semi != std::string::npos && line.find('"') == std::string::npos) line = line.substr(0, semi);
        line = Trim(line);
        if (line.empty()) continue;
        if (line.front() == '[' && line.back() == ']') {
            current = Lower(Trim(line.substr(1, line.size() - 2)));
            continue;
        }
        sections[current].push_back(line);
    }
    std::map<std::string, std::string> strings;
    for (const std::string& l : sections["strings"]) {
        size_t eq = l.find('=');
        if (eq != std::string::npos) strings[Lower(Trim(l.substr(0, eq)))] = Unquote(l.substr(eq + 1));
    }
    auto resolve = [&](std::string s) {
        s = Unquote(s);
        if (s.size() > 2 && s.front() == '%' && s.back() == '%') {
            auto it = strings.find(Lower(s.substr(1, s.size() - 2)));
            if (it != strings.end()) return it->second;
        }
        return s;
    };
    models->clear();
    for (const std::string& l : sections["manufacturer"]) {
        size_t eq = l.find('=');
        if (eq == std::string::npos) continue;
        std::stringstream parts(l.substr(eq + 1));
        std::string base, decoration;
        std::getline(parts, base, ',');
        base = Lower(Trim(base));
        std::vector<std::string> names{base};
        while (std::getline(parts, decoration, ',')) names.push_back(base + "." + Lower(Trim(decoration)));
        for (const std::string& name : names) {
            for (const std::string& entry : sections[name]) {
                size_t e = entry.find('=');
                if (e == std::string::npos) continue;
                InfModel model;
                model.driverName = resolve(entry.substr(0, e));
                std::stringstream ids(entry.substr(e + 1));
                std::string item;
                std::getline(ids, item, ',');  // install section
                while (std::getline(ids, item, ',')) {
                    if (!Trim(item).empty()) model.hardwareIds.push_back(Trim(item));
                }
                models->push_back(model);
            }
        }
    }
    return true;
}

std::string InfDriverFor(const std::vector<InfModel>& models, const std::string& hardwareId) {
    for (const InfModel& m : models) {
        for (const std::string& id : m.hardwareIds) {
            if (devices::SameText(id, hardwareId)) return m.driverName;
        }
    }
    return std::string();
}

}  // namespace winsim
