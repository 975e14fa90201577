#include "spooler.h"

#include <cctype>
#include <cwctype>
#include <mutex>
#include <unordered_map>

#include "../advapi32/services.h"
#include "../core/architecture.h"
#include "../core/devices.h"
#include "../core/text.h"

namespace winsim {
namespace spooler {

const Json& Section(const Json& machine) {
    static const Json empty = Json::object();
    return machine.has_field("spooler") && machine.at("spooler").is_object() ? machine.at("spooler") : empty;
}

PrinterHandle* HandleOf(HANDLE h) {
    auto* handle = LookupAs<PrinterHandle>(h);
    if (!handle) SetLastError(ERROR_INVALID_HANDLE);
    return handle;
}

namespace {

const std::string* NameOf(const Json& printer) {
    static const std::string kName = "name";
    if (!printer.is_object()) return nullptr;
    auto field = printer.as_object().find(kName);
    return field != printer.as_object().end() && field->second.is_string() ? &field->second.as_string() : nullptr;
}

std::string Lower(const std::string& text) {
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

// Where each printer of the list last searched is, by name: a machine with many printers is walked once,
// not on every call. A position is trusted only while the printer there has the name asked for, as the
// list may have been changed in place since; a name not found there is looked for in the whole list.
struct PrinterPositions {
    std::mutex mutex;
    const Json* list = nullptr;
    size_t size = 0;
    std::unordered_map<std::string, size_t> byName;
} gPositions;

}  // namespace

const Json* FindPrinter(const Json& machine, const std::string& name) {
    if (!machine.has_field("spooler") || !machine.at("spooler").has_field("printers")) return nullptr;
    const Json& printers = machine.at("spooler").at("printers");
    if (!printers.is_array()) return nullptr;
    std::lock_guard<std::mutex> lock(gPositions.mutex);
    if (gPositions.list != &printers || gPositions.size != printers.size()) {
        gPositions.list = &printers;
        gPositions.size = printers.size();
        gPositions.byName.clear();
        for (size_t i = 0; i < printers.size(); ++i) {
            if (const std::string* found = NameOf(printers.at(i))) gPositions.byName.emplace(Lower(*found), i);
        }
    }
    const std::string key = Lower(name);
    auto known = gPositions.byName.find(key);
    if (known != gPositions.byName.end() && known->second < printers.size()) {
        const Json& p = printers.at(known->second);
        const std::string* found = NameOf(p);
        if (found && devices::SameText(*found, name)) return &p;
    }
    // Not where it was remembered (a list made anew at the same place, or a name whose case folds beyond
    // ASCII): looked for, and remembered as asked.
    for (size_t i = 0; i < printers.size(); ++i) {
        const std::string* found = NameOf(printers.at(i));
        if (found && devices::SameText(*found, name)) {
            gPositions.byName[key] = i;
            return &printers.at(i);
        }
    }
    return nullptr;
}

bool Reachable(const Json& machine) {
    bool running = BoolAt(Section(machine), "running", true);
    DWORD state = services::StateOf(machine, "Spooler");
    if (state != 0) running = state == SERVICE_RUNNING;
    if (!running) SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return running;
}

bool PortListed(const Json& machine, const Json& port) {
    int64_t from = IntAt(port, "listedFromMs", 0);
    if (from <= 0) return true;
    int64_t now = machine.has_field("clock") ? IntAt(machine.at("clock"), "nowMs", 0) : 0;
    return now >= from;
}

std::vector<const Json*> ListedPorts(const Json& machine) {
    std::vector<const Json*> out;
    const Json& spooler = Section(machine);
    if (!spooler.has_field("ports")) return out;
    for (const Json& p : spooler.at("ports").as_array()) {
        if (PortListed(machine, p)) out.push_back(&p);
    }
    return out;
}

// The machine's shape admits only architectures that have an environment.
std::string NativeEnvironment(const Json& machine) {
    const char* environment = EnvironmentOf(ArchitectureOf(machine));
    return environment ? environment : EnvironmentOf(kDefaultArchitecture);
}

bool KnownEnvironment(const std::string& environment) {
    for (const Architecture& a : kArchitectures) {
        if (environment == a.environment) return true;
    }
    return false;
}

bool PublisherTrusted(const Json& machine) {
    if (!machine.has_field("driverSigning")) return true;
    const Json& signing = machine.at("driverSigning");
    if (!BoolAt(signing, "requireTrustedPublisher", false)) return true;
    std::string serial = StringAt(signing, "publisherSerial", "");
    if (!machine.has_field("certificates")) return false;
    for (const Json& c : machine.at("certificates").as_array()) {
        if (StringAt(c, "store", "") == "TrustedPublisher" && devices::SameText(StringAt(c, "serial", ""), serial)) return true;
    }
    return false;
}

std::wstring StagePackage(Json& machine, const std::wstring& sourceInf, const std::wstring& environment,
                          uint64_t contentSize) {
    size_t slash = sourceInf.find_last_of(L"\\/");
    std::wstring inf = slash == std::wstring::npos ? sourceInf : sourceInf.substr(slash + 1);
    std::wstring folder = inf;
    for (wchar_t& c : folder) c = static_cast<wchar_t>(std::towlower(c));
    std::wstring arch = environment == L"Windows NT x86" ? L"x86" : L"amd64";
    std::wstring stored = L"C:\\Windows\\System32\\DriverStore\\FileRepository\\" + folder + L"_" + arch + L"_" +
                          std::to_wstring(static_cast<unsigned>((contentSize * 2654435761u) % 0xFFFFFFFFu)) + L"\\" + inf;
    Json& store = ChildArray(ChildObject(machine, "spooler"), "driverStore");
    std::string storedUtf8 = ToUtf8(stored);
    for (size_t i = 0; i < store.size(); ++i) {
        if (StringAt(store.at(i), "storedInf", "") == storedUtf8) return stored;
    }
    Json package = Json::object();
    package["sourceInf"] = Json::string(ToUtf8(sourceInf));
    package["storedInf"] = Json::string(storedUtf8);
    package["environment"] = Json::string(ToUtf8(environment));
    store[store.size()] = package;
    return stored;
}

void AddDriver(Json& machine, const std::string& name, const std::string& environment, const std::string& storedInf) {
    Json& list = ChildArray(ChildObject(ChildObject(machine, "spooler"), "drivers"), environment.c_str());
    for (size_t i = 0; i < list.size(); ++i) {
        if (StringAt(list.at(i), "name", "") == name) return;
    }
    Json driver = Json::object();
    driver["name"] = Json::string(name);
    driver["version"] = Json::number(3);
    driver["infPath"] = Json::string(storedInf);
    list[list.size()] = driver;
}

bool AddPrinterQueue(Json& machine, const std::string& name, const std::string& driver, const std::string& port) {
    Json& printers = ChildArray(ChildObject(machine, "spooler"), "printers");
    for (size_t i = 0; i < printers.size(); ++i) {
        if (StringAt(printers.at(i), "name", "") == name) return false;
    }
    Json p = Json::object();
    p["name"] = Json::string(name);
    p["driver"] = Json::string(driver);
    p["port"] = Json::string(port);
    p["printProcessor"] = Json::string("winprint");
    p["datatype"] = Json::string("RAW");
    p["attributes"] = Json::number(0x240);  // PRINTER_ATTRIBUTE_LOCAL | PRINTER_ATTRIBUTE_DO_COMPLETE_FIRST
    p["data"] = Json::object();
    printers[printers.size()] = p;
    return true;
}

}  // namespace spooler
}  // namespace winsim
