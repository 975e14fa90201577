// The "Other Option" group the plug-in adds to the document option tree, and the callback that stores
// its values when the user applies the sheet.
#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "Helpers.h"
#include "KnownRecords.h"
#include "PrinterSettings.h"
#include "QVDrvUI.h"
#include "resource.h"

namespace {

constexpr DWORD kItemCount = 5;
constexpr ULONG_PTR kScaleIcon = 64045;  // a standard icon of the common property sheet
constexpr LPARAM kScaleLow = 10;
constexpr LPARAM kScaleHigh = 100;
constexpr LPARAM kThresholdLow = -127;
constexpr LPARAM kThresholdHigh = 127;

WCHAR gPercent[] = L"%";
WCHAR gNoUnit[] = L"";

// The core reads these for as long as the sheet is open, so they are static and shared by every call.
OPTPARAM gScaleParams[2] = {
    {sizeof(OPTPARAM), 0, 0, gPercent, kScaleIcon, 0, {0, 0}},
    {sizeof(OPTPARAM), 0, 0, nullptr, static_cast<ULONG_PTR>(kScaleLow), kScaleHigh, {0, 0}},
};
OPTPARAM gThresholdParams[2] = {
    {sizeof(OPTPARAM), 0, 0, gNoUnit, IDI_CPSUI_EMPTY, 0, {0, 0}},
    {sizeof(OPTPARAM), 0, 0, nullptr, static_cast<ULONG_PTR>(kThresholdLow), kThresholdHigh, {0, 0}},
};
OPTPARAM gTwoStateParams[2] = {
    {sizeof(OPTPARAM), 0, 0, MAKEINTRESOURCEW(IDS_CPSUI_NO), IDI_CPSUI_NO, 0, {0, 0}},
    {sizeof(OPTPARAM), 0, 0, MAKEINTRESOURCEW(IDS_CPSUI_YES), IDI_CPSUI_YES, 1, {0, 0}},
};
OPTTYPE gScaleType = {sizeof(OPTTYPE), TVOT_UDARROW, 0, 2, 0, gScaleParams, 0, {0, 0, 0}, {0, 0, 0}};
OPTTYPE gThresholdType = {sizeof(OPTTYPE), TVOT_UDARROW, 0, 2, 0, gThresholdParams, 0, {0, 0, 0}, {0, 0, 0}};
OPTTYPE gTwoStateType = {sizeof(OPTTYPE), TVOT_2STATES, 0, 2, 0, gTwoStateParams, 0, {0, 0, 0}, {0, 0, 0}};

void Fill(OPTITEM& item, POEMCUIPPARAM param, UINT nameId, BYTE level, DWORD flags, BYTE pubId, POPTTYPE type,
          LONG sel) {
    item.pName = LoadResString(param->hOEMHeap, static_cast<HINSTANCE>(param->hModule), nameId);
    item.Level = level;
    item.Flags = flags;
    item.DMPubID = pubId;
    item.pOptType = type;
    item.Sel = sel;
}

}  // namespace

HRESULT QVDrvUI::CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam) {
    if ((dwMode != OEMCUIP_DOCPROP && dwMode != OEMCUIP_PRNPROP) || !pOemCUIPParam) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return E_FAIL;
    }
    if (!pOemCUIPParam->pOEMUserData) pOemCUIPParam->pOEMUserData = reinterpret_cast<PVOID>(Ticket());
    if (dwMode == OEMCUIP_PRNPROP) {
        pOemCUIPParam->OEMCUIPCallback = NullOptItemCallback;
        return S_OK;
    }
    return BuildOptItems(pOemCUIPParam);
}

// An array shorter than the group is refused whole: filling it would write past its end.
HRESULT QVDrvUI::BuildOptItems(POEMCUIPPARAM param) {
    TraceStub(param->pPublicDM);
    if (!param->pOEMOptItems) {
        param->cOEMOptItems = kItemCount;
        return S_OK;
    }
    if (param->cOEMOptItems < kItemCount) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return E_FAIL;
    }
    param->OEMCUIPCallback = OptItemCallback;
    for (DWORD i = 0; i < param->cOEMOptItems; ++i) {
        std::memset(&param->pOEMOptItems[i], 0, sizeof(OPTITEM));
        param->pOEMOptItems[i].cbSize = sizeof(OPTITEM);
    }
    const auto* part = static_cast<const QVOemDevMode*>(param->pOEMDM);
    QVPrinterSettings settings{};
    if (part) settings = part->body;
    if (m_pObject && m_pObject->records) m_pObject->records->ItemsBuilt(part);
    TraceStub(part ? &part->body : nullptr);

    OPTITEM* items = param->pOEMOptItems;
    Fill(items[0], param, IDS_OTHER_OPTION, 1, 0, DMPUB_USER + 1, nullptr, 0);
    Fill(items[1], param, IDS_IMAGE_SCALE, 2, OPTIF_CALLBACK, DMPUB_USER + 7, &gScaleType, settings.imageScale);
    Fill(items[2], param, IDS_SCRIMP_ON_PAPER, 2, OPTIF_HIDE | OPTIF_CALLBACK, DMPUB_USER + 8, &gTwoStateType,
         settings.scrimpOnPaper);
    Fill(items[3], param, IDS_BLACK_THRESHOLD, 2, OPTIF_CALLBACK, DMPUB_USER + 9, &gThresholdType,
         settings.blackThreshold);
    Fill(items[4], param, IDS_DRIVER_IMAGE_OFFSET, 2, OPTIF_CALLBACK, DMPUB_USER + 12, &gTwoStateType,
         settings.driverImageOffset);
    return S_OK;
}

LONG APIENTRY OptItemCallback(PCPSUICBPARAM pCallbackParam, POEMCUIPPARAM pOemCUIPParam) {
    if (!pCallbackParam || !pOemCUIPParam || pCallbackParam->Reason != CPSUICB_REASON_APPLYNOW) {
        return CPSUICB_ACTION_NONE;
    }
    // The core may apply items of an object it has already let go: its controller is then not found.
    QVDrvUI* owner = QVDrvUI::Find(reinterpret_cast<ULONG_PTR>(pOemCUIPParam->pOEMUserData));
    if (owner && pOemCUIPParam->pOEMOptItems && pOemCUIPParam->cOEMOptItems >= kItemCount) {
        owner->StoreOptItems(pOemCUIPParam);
    }
    return CPSUICB_ACTION_NONE;
}

// The items store over what their DEVMODE's private part holds, with what the page of the document sheet
// open on that DEVMODE has changed so far (the two share a record), and only when the items were filled
// from a record that was read: defaults shown in place of the printer's settings would otherwise replace
// them. A page that showed defaults adds nothing. They go through that sheet's handle, or, for items of a
// DEVMODE no document sheet is open on, through the handle of the sheet the controller works with; with
// none, nothing is stored.
void QVDrvUI::StoreOptItems(POEMCUIPPARAM param) {
    AutoLock guard(&m_lock);
    auto* part = static_cast<QVOemDevMode*>(param->pOEMDM);
    KnownRecords* records = m_pObject ? m_pObject->records : nullptr;
    if (!records || !records->ItemsRead(part)) return;
    QVSheet* sheet = DocumentSheetOn(part);
    HANDLE printer = sheet ? sheet->context.hPrinter : ContextPrinter();
    if (!printer) return;

    QVPrinterSettings record = part->body;
    // A sheet that showed defaults stores nothing of its own, and what its page changed was laid over them.
    if (sheet && sheet->context.settingsRead) TakeChanges(sheet->shown, sheet->record, &record);
    const OPTITEM* items = param->pOEMOptItems;
    record.imageScale = static_cast<int16_t>(items[1].Sel);
    record.scrimpOnPaper = static_cast<int8_t>(items[2].Sel);
    record.blackThreshold = static_cast<int16_t>(items[3].Sel);
    record.driverImageOffset = static_cast<int8_t>(items[4].Sel);
    if (sheet) {
        // The page's next store keeps them, stored now or not.
        sheet->record.imageScale = record.imageScale;
        sheet->record.scrimpOnPaper = record.scrimpOnPaper;
        sheet->record.blackThreshold = record.blackThreshold;
        sheet->record.driverImageOffset = record.driverImageOffset;
    }
    SheetContext target{};
    target.hPrinter = printer;
    target.pOemDevMode = part;
    target.pSettings = &record;
    target.settingsRead = true;
    target.pPublicDM = param->pPublicDM;
    target.records = records;
    // What the store took is the base of the page's next changes.
    if (StoreSheetRecord(&target) && sheet && sheet->context.settingsRead) sheet->shown = sheet->record;
}

LONG APIENTRY NullOptItemCallback(PCPSUICBPARAM, POEMCUIPPARAM) { return CPSUICB_ACTION_NONE; }

HRESULT SetNullOptItemCallback(POEMCUIPPARAM pOemCUIPParam) {
    if (pOemCUIPParam) pOemCUIPParam->OEMCUIPCallback = NullOptItemCallback;
    return S_OK;
}
