#include "machine.h"

namespace winsim {
namespace {

Json Str(const char* s) { return Json::string(s); }

Json Form(const char* name, int width, int height) {
    Json f = Json::object();
    f["name"] = Str(name);
    f["width"] = Json::number(width);    // thousandths of a millimetre, as FORM_INFO_1 holds them
    f["height"] = Json::number(height);
    f["builtin"] = Json::boolean(true);
    return f;
}

Json Port(const char* name, const char* monitor, const char* description) {
    Json p = Json::object();
    p["name"] = Str(name);
    p["monitor"] = Str(monitor);
    p["description"] = Str(description);
    return p;
}

}  // namespace

// One plugged printer of the first model, its port listed, no printer of ours yet.
Json DefaultMachine() {
    Json m = Json::object();
    m["version"] = Json::number(1);

    Json system = Json::object();
    system["architecture"] = Json::number(9);  // AMD64
    system["uiLanguage"] = Json::number(1033);
    m["system"] = system;

    Json clock = Json::object();
    clock["virtual"] = Json::boolean(true);
    clock["nowMs"] = Json::number(0);
    m["clock"] = clock;

    Json crypt = Json::object();
    Json guid = Json::object();
    guid["type"] = Json::number(1);  // REG_SZ
    guid["data"] = Str("6f1c2a9e-3b7d-4e58-9a0c-d24b8e71f305");
    crypt["MachineGuid"] = guid;
    Json hklm = Json::object();
    hklm["SOFTWARE\\Microsoft\\Cryptography"] = crypt;
    Json registry = Json::object();
    registry["HKEY_LOCAL_MACHINE"] = hklm;
    m["registry"] = registry;

    Json usb = Json::object();
    usb["enumerator"] = Str("USB");
    usb["instanceId"] = Str("USB\\VID_0483&PID_5741\\2C0031000B51");
    Json usbIds = Json::array();
    usbIds[0] = Str("USB\\VID_0483&PID_5741&REV_0200");
    usbIds[1] = Str("USB\\VID_0483&PID_5741");
    usb["hardwareIds"] = usbIds;
    usb["present"] = Json::boolean(true);
    Json iface = Json::object();
    iface["class"] = Str("{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
    iface["devicePath"] = Str("\\\\?\\usb#vid_0483&pid_5741#2c0031000b51#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}");
    iface["ieee1284Id"] = Str("MFG:Zelvanta;CMD:TSPL,ZPL;MODEL:Brisora40;CLS:PRINTER;DES:Brisora40 Label Printer;");
    Json ifaces = Json::array();
    ifaces[0] = iface;
    usb["interfaces"] = ifaces;

    Json usbprint = Json::object();
    usbprint["enumerator"] = Str("USBPRINT");
    usbprint["instanceId"] = Str("USBPRINT\\BRISORA40\\7&1A2B3C4D&0&USB001");
    Json printIds = Json::array();
    printIds[0] = Str("USBPRINT\\Brisora40C3F1");
    usbprint["hardwareIds"] = printIds;
    usbprint["present"] = Json::boolean(true);

    Json devices = Json::array();
    devices[0] = usb;
    devices[1] = usbprint;
    m["devices"] = devices;

    Json spooler = Json::object();
    spooler["running"] = Json::boolean(true);
    Json ports = Json::array();
    ports[0] = Port("LPT1:", "Local Port", "Local Port");
    ports[1] = Port("COM1:", "Local Port", "Local Port");
    ports[2] = Port("FILE:", "Local Port", "Print to File");
    ports[3] = Port("USB001", "USB Monitor", "Virtual printer port for USB");
    spooler["ports"] = ports;
    spooler["printers"] = Json::array();
    spooler["drivers"] = Json::object();
    spooler["driverStore"] = Json::array();
    Json forms = Json::array();
    forms[0] = Form("Letter", 215900, 279400);
    forms[1] = Form("Legal", 215900, 355600);
    forms[2] = Form("A4", 210000, 297000);
    forms[3] = Form("A5", 148000, 210000);
    forms[4] = Form("B5 (JIS)", 182000, 257000);
    forms[5] = Form("Envelope #10", 104774, 241300);
    spooler["forms"] = forms;
    spooler["jobs"] = Json::array();
    m["spooler"] = spooler;

    Json spoolerService = Json::object();
    spoolerService["name"] = Str("Spooler");
    spoolerService["state"] = Json::number(4);  // SERVICE_RUNNING
    spoolerService["dependsOn"] = Json::array();
    Json services = Json::array();
    services[0] = spoolerService;
    m["services"] = services;

    m["certificates"] = Json::array();
    // Reports go through a closed loopback port: nothing a simulated run sends leaves this computer.
    Json winhttp = Json::object();
    winhttp["proxy"] = Str("127.0.0.1:9");
    m["winhttp"] = winhttp;
    Json signing = Json::object();
    signing["requireTrustedPublisher"] = Json::boolean(false);
    signing["publisherSerial"] = Str("7c31e9a04b58d26f0e1a93b5");
    m["driverSigning"] = signing;
    Json shell = Json::object();
    shell["commands"] = Json::array();
    m["shell"] = shell;
    Json ui = Json::object();
    ui["answers"] = Json::array();
    ui["messageBoxes"] = Json::array();
    m["ui"] = ui;
    m["processes"] = Json::array();
    m["faults"] = Json::array();
    return m;
}

}  // namespace winsim
