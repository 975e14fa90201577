#include <windows.h>
#include <winspool.h>

#include "../core/devices.h"
#include "../core/text.h"
#include "spooler.h"

namespace {

using winsim::Json;

// Forms are the server's: every printer handle (and the server's own) reaches the same list.
bool FormIndex(const Json& machine, const std::string& name, size_t* index) {
    if (!machine.has_field("spooler") || !machine.at("spooler").has_field("forms")) return false;
    const Json& forms = machine.at("spooler").at("forms");
    for (size_t i = 0; i < forms.size(); ++i) {
        if (winsim::devices::SameText(winsim::StringAt(forms.at(i), "name", ""), name)) {
            *index = i;
            return true;
        }
    }
    return false;
}

}  // namespace

// Simplified: level 1 only; the caller's access right is not checked.
extern "C" BOOL WINAPI AddFormW(HANDLE hPrinter, DWORD Level, LPBYTE pForm) {
    uint32_t fault;
    if (winsim::TakeFault("AddFormW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (!winsim::spooler::HandleOf(hPrinter)) return FALSE;
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    auto* form = reinterpret_cast<FORM_INFO_1W*>(pForm);
    if (!form || !form->pName || !*form->pName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (form->Size.cx <= 0 || form->Size.cy <= 0 || form->ImageableArea.left < 0 || form->ImageableArea.top < 0 ||
        form->ImageableArea.right > form->Size.cx || form->ImageableArea.bottom > form->Size.cy ||
        form->ImageableArea.left >= form->ImageableArea.right || form->ImageableArea.top >= form->ImageableArea.bottom) {
        SetLastError(ERROR_INVALID_FORM_SIZE);
        return FALSE;
    }
    std::string name = winsim::ToUtf8(form->pName);
    DWORD error = 0;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        size_t index;
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        if (FormIndex(machine, name, &index)) {
            error = ERROR_FILE_EXISTS;
            return;
        }
        Json f = Json::object();
        f["name"] = Json::string(name);
        f["width"] = Json::number(form->Size.cx);
        f["height"] = Json::number(form->Size.cy);
        f["left"] = Json::number(form->ImageableArea.left);
        f["top"] = Json::number(form->ImageableArea.top);
        f["right"] = Json::number(form->ImageableArea.right);
        f["bottom"] = Json::number(form->ImageableArea.bottom);
        f["builtin"] = Json::boolean(false);
        Json& forms = winsim::ChildArray(winsim::ChildObject(machine, "spooler"), "forms");
        forms[forms.size()] = f;
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

extern "C" BOOL WINAPI DeleteFormW(HANDLE hPrinter, LPWSTR pFormName) {
    uint32_t fault;
    if (winsim::TakeFault("DeleteFormW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (!winsim::spooler::HandleOf(hPrinter)) return FALSE;
    if (!pFormName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::string name = winsim::ToUtf8(pFormName);
    DWORD error = 0;
    winsim::Machine::Instance().Modify([&](Json& machine) {
        size_t index;
        if (!winsim::spooler::Reachable(machine)) {
            error = RPC_S_SERVER_UNAVAILABLE;
            return;
        }
        if (!FormIndex(machine, name, &index)) {
            error = ERROR_INVALID_FORM_NAME;
            return;
        }
        Json& forms = machine["spooler"]["forms"];
        if (winsim::BoolAt(forms.at(index), "builtin", false)) {
            error = ERROR_INVALID_PARAMETER;  // built-in forms cannot be deleted
            return;
        }
        Json kept = Json::array();
        size_t k = 0;
        for (size_t i = 0; i < forms.size(); ++i) {
            if (i != index) kept[k++] = forms.at(i);
        }
        forms = kept;
    });
    if (error) {
        SetLastError(error);
        return FALSE;
    }
    return TRUE;
}
