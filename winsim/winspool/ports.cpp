#include <windows.h>
#include <winspool.h>

#include "../core/packer.h"
#include "../core/text.h"
#include "spooler.h"

// Simplified: only the local spooler (pName NULL or empty) is known; fPortType is read/write for every port.
extern "C" BOOL WINAPI EnumPortsW(LPWSTR pName, DWORD Level, LPBYTE pPort, DWORD cbBuf, LPDWORD pcbNeeded,
                                  LPDWORD pcReturned) {
    uint32_t fault;
    if (winsim::TakeFault("EnumPortsW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (pName && *pName) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    if (!pcbNeeded || !pcReturned) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const winsim::Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return FALSE;
    std::vector<const winsim::Json*> ports = winsim::spooler::ListedPorts(machine);
    if (Level == 1) {
        winsim::RecordPacker<PORT_INFO_1W> packer(ports.size());
        for (size_t i = 0; i < ports.size(); ++i) {
            packer.Text(i, &PORT_INFO_1W::pName, winsim::FromUtf8(winsim::StringAt(*ports[i], "name", "")));
        }
        return packer.Answer(pPort, cbBuf, pcbNeeded, pcReturned);
    }
    if (Level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    winsim::RecordPacker<PORT_INFO_2W> packer(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        packer.Records()[i].fPortType = PORT_TYPE_WRITE | PORT_TYPE_READ;
        packer.Text(i, &PORT_INFO_2W::pPortName, winsim::FromUtf8(winsim::StringAt(*ports[i], "name", "")));
        packer.Text(i, &PORT_INFO_2W::pMonitorName, winsim::FromUtf8(winsim::StringAt(*ports[i], "monitor", "")));
        packer.Text(i, &PORT_INFO_2W::pDescription, winsim::FromUtf8(winsim::StringAt(*ports[i], "description", "")));
    }
    return packer.Answer(pPort, cbBuf, pcbNeeded, pcReturned);
}
