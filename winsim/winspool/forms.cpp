#include <windows.h>
#include <winspool.h>

#include <cstdint>
#include <mutex>

#include "../core/devices.h"
#include "../core/packer.h"
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

// A built-in form is printable to its edges when the machine gives it no margins.
void FillForm(winsim::RecordPacker<FORM_INFO_1W>& packer, size_t i, const Json& form) {
    FORM_INFO_1W& r = packer.Records()[i];
    r.Flags = winsim::BoolAt(form, "builtin", false) ? FORM_BUILTIN : FORM_USER;
    r.Size.cx = static_cast<LONG>(winsim::IntAt(form, "width", 0));
    r.Size.cy = static_cast<LONG>(winsim::IntAt(form, "height", 0));
    r.ImageableArea.left = static_cast<LONG>(winsim::IntAt(form, "left", 0));
    r.ImageableArea.top = static_cast<LONG>(winsim::IntAt(form, "top", 0));
    r.ImageableArea.right = static_cast<LONG>(winsim::IntAt(form, "right", r.Size.cx));
    r.ImageableArea.bottom = static_cast<LONG>(winsim::IntAt(form, "bottom", r.Size.cy));
    packer.Text(i, &FORM_INFO_1W::pName, winsim::FromUtf8(winsim::StringAt(form, "name", "")));
}

// The size of the whole list, kept for the machine's content it was worked out from: the size query that
// comes before every enumeration then costs the same however many forms there are.
struct {
    std::mutex mutex;
    bool known = false;
    uint64_t generation = 0;
    DWORD needed = 0;
} gListSize;

bool KnownSize(uint64_t generation, DWORD* needed) {
    std::lock_guard<std::mutex> lock(gListSize.mutex);
    if (!gListSize.known || gListSize.generation != generation) return false;
    *needed = gListSize.needed;
    return true;
}

void RememberSize(uint64_t generation, DWORD needed) {
    std::lock_guard<std::mutex> lock(gListSize.mutex);
    gListSize.known = true;
    gListSize.generation = generation;
    gListSize.needed = needed;
}

}  // namespace

// Simplified: level 1 only (not level 2's keyword and display names); no FORM_PRINTER forms.
extern "C" BOOL WINAPI EnumFormsW(HANDLE hPrinter, DWORD Level, LPBYTE pForm, DWORD cbBuf, LPDWORD pcbNeeded,
                                  LPDWORD pcReturned) {
    uint32_t fault;
    if (winsim::TakeFault("EnumFormsW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (!winsim::spooler::HandleOf(hPrinter)) return FALSE;
    if (!pcbNeeded || !pcReturned) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    uint64_t generation = 0;
    const auto view = winsim::Machine::Instance().Snapshot(&generation);
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return FALSE;
    DWORD known = 0;
    if (KnownSize(generation, &known) && (cbBuf < known || (!pForm && known > 0))) {
        *pcbNeeded = known;
        *pcReturned = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    const Json& spooler = winsim::spooler::Section(machine);
    std::vector<const Json*> forms;
    if (spooler.has_field("forms")) {
        for (const Json& f : spooler.at("forms").as_array()) forms.push_back(&f);
    }
    winsim::RecordPacker<FORM_INFO_1W> packer(forms.size());
    for (size_t i = 0; i < forms.size(); ++i) FillForm(packer, i, *forms[i]);
    RememberSize(generation, packer.Needed());
    return packer.Answer(pForm, cbBuf, pcbNeeded, pcReturned);
}

// Simplified: level 1 only (not level 2's keyword and display names).
extern "C" BOOL WINAPI GetFormW(HANDLE hPrinter, LPWSTR pFormName, DWORD Level, LPBYTE pForm, DWORD cbBuf,
                                LPDWORD pcbNeeded) {
    uint32_t fault;
    if (winsim::TakeFault("GetFormW", &fault)) {
        SetLastError(fault);
        return FALSE;
    }
    if (!winsim::spooler::HandleOf(hPrinter)) return FALSE;
    if (!pcbNeeded) {
        SetLastError(RPC_X_NULL_REF_POINTER);
        return FALSE;
    }
    if (!pFormName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (Level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    const auto view = winsim::Machine::Instance().Snapshot();
    const Json& machine = *view;
    if (!winsim::spooler::Reachable(machine)) return FALSE;
    size_t index;
    if (!FormIndex(machine, winsim::ToUtf8(pFormName), &index)) {
        SetLastError(ERROR_INVALID_FORM_NAME);
        return FALSE;
    }
    winsim::RecordPacker<FORM_INFO_1W> packer(1);
    FillForm(packer, 0, machine.at("spooler").at("forms").at(index));
    return packer.Answer(pForm, cbBuf, pcbNeeded, nullptr);
}

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

// Simplified: the caller's access right is not checked.
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
