#include <windows.h>
#include <shellapi.h>

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "../core/devices.h"
#include "../core/process.h"
#include "../core/machine.h"
#include "../core/text.h"

namespace {

using winsim::Json;

// The serial number of a DER or PEM certificate file, in lower-case hexadecimal; empty when unreadable.
std::string CertificateSerial(const std::string& hostPath) {
    std::FILE* f = std::fopen(hostPath.c_str(), "rb");
    if (!f) return std::string();
    X509* cert = d2i_X509_fp(f, nullptr);
    if (!cert) {
        std::rewind(f);
        cert = PEM_read_X509(f, nullptr, nullptr, nullptr);
    }
    std::fclose(f);
    if (!cert) return std::string();
    std::string serial;
    if (BIGNUM* bn = ASN1_INTEGER_to_BN(X509_get_serialNumber(cert), nullptr)) {
        if (char* hex = BN_bn2hex(bn)) {
            serial = hex;
            OPENSSL_free(hex);
        }
        BN_free(bn);
    }
    X509_free(cert);
    for (char& c : serial) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return serial;
}

// certutil [-f] -addstore STORE FILE | -delstore STORE SERIAL; false when it would fail.
bool Certutil(Json& machine, const std::vector<std::string>& args) {
    size_t i = 1;
    if (i < args.size() && args[i] == "-f") ++i;
    if (args.size() < i + 3) return false;
    const std::string& verb = args[i];
    const std::string& store = args[i + 1];
    const std::string& operand = args[i + 2];
    Json& certificates = winsim::ChildArray(machine, "certificates");
    if (verb == "-addstore") {
        std::string serial = CertificateSerial(winsim::HostPath(winsim::FromUtf8(operand)));
        if (serial.empty()) return false;
        for (size_t k = 0; k < certificates.size(); ++k) {
            if (winsim::StringAt(certificates.at(k), "store", "") == store &&
                winsim::StringAt(certificates.at(k), "serial", "") == serial) {
                return true;  // -f: replaced by itself
            }
        }
        Json c = Json::object();
        c["store"] = Json::string(store);
        c["serial"] = Json::string(serial);
        certificates[certificates.size()] = c;
        return true;
    }
    if (verb == "-delstore") {
        Json kept = Json::array();
        size_t k = 0;
        bool removed = false;
        for (size_t n = 0; n < certificates.size(); ++n) {
            const Json& c = certificates.at(n);
            if (winsim::StringAt(c, "store", "") == store && winsim::devices::SameText(winsim::StringAt(c, "serial", ""), operand)) {
                removed = true;
                continue;
            }
            kept[k++] = c;
        }
        certificates = kept;
        return removed;
    }
    return false;
}

// What the system tools named through "cmd /c" do to the machine.
void CarryOut(winsim::Json& machine, winsim::Json& command, const std::string& file, const std::string& parameters) {
    if (!winsim::devices::SameText(file, "cmd")) return;
    std::vector<std::string> args = winsim::SplitCommandLine(parameters);
    if (args.size() >= 2 && args[0] == "/c" && winsim::devices::SameText(args[1], "certutil")) {
        args.erase(args.begin());
        command["succeeded"] = Json::boolean(Certutil(machine, args));
        return;
    }
    const std::string restart = "/c pnputil /restart-device ";
    if (parameters.compare(0, restart.size(), restart) == 0) {
        std::string id = parameters.substr(restart.size());
        if (id.size() >= 2 && id.front() == '"' && id.back() == '"') id = id.substr(1, id.size() - 2);
        winsim::Json& devices = winsim::ChildArray(machine, "devices");
        for (size_t i = 0; i < devices.size(); ++i) {
            if (winsim::devices::SameText(winsim::StringAt(devices.at(i), "instanceId", ""), id)) {
                int64_t restarts = winsim::IntAt(devices.at(i), "restarts", 0);
                // The count stays at the end of its range rather than leaving it.
                if (restarts < INT64_MAX) devices[i]["restarts"] = winsim::Json::number(restarts + 1);
            }
        }
    }
}

}  // namespace

// Simplified: nothing is started. The command is recorded in the machine ("shell.commands"), where the
// machine carries out what the named system tool would do; like the real call it is not waited for.
extern "C" HINSTANCE WINAPI ShellExecuteW(HWND, LPCWSTR lpOperation, LPCWSTR lpFile, LPCWSTR lpParameters,
                                          LPCWSTR lpDirectory, INT nShowCmd) {
    uint32_t fault;
    if (winsim::TakeFault("ShellExecuteW", &fault)) {
        SetLastError(fault);
        return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(fault <= 32 ? fault : SE_ERR_FNF));
    }
    if (!lpFile || !*lpFile) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(SE_ERR_FNF));
    }
    winsim::Machine::Instance().Modify([&](winsim::Json& machine) {
        winsim::Json& commands = winsim::ChildArray(winsim::ChildObject(machine, "shell"), "commands");
        winsim::Json c = winsim::Json::object();
        c["verb"] = winsim::Json::string(winsim::ToUtf8(lpOperation ? lpOperation : L""));
        c["file"] = winsim::Json::string(winsim::ToUtf8(lpFile));
        c["parameters"] = winsim::Json::string(winsim::ToUtf8(lpParameters ? lpParameters : L""));
        c["directory"] = winsim::Json::string(winsim::ToUtf8(lpDirectory ? lpDirectory : L""));
        c["show"] = winsim::Json::number(nShowCmd);
        CarryOut(machine, c, winsim::ToUtf8(lpFile), winsim::ToUtf8(lpParameters ? lpParameters : L""));
        commands[commands.size()] = c;
    });
    return reinterpret_cast<HINSTANCE>(static_cast<intptr_t>(42));
}
