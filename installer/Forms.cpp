// The seven custom paper forms added after a plug-and-play install and removed at uninstall.
#include <windows.h>
#include <winspool.h>

#include <cstring>

#include "Installer.h"
#include "Logger.h"
#include "PrinterDeviceObject.h"
#include "PrinterModel.h"
#include "SpoolerList.h"

namespace {

struct CustomForm {
    const wchar_t* name;
    int32_t width, height;                  // millimetres
    int32_t left, top, right, bottom;       // margins, millimetres
};

// Both operations use this one table: its names are the keys by which the forms are deleted again.
const CustomForm FormsTable[] = {
    {L"100mm x 100mm", 100, 100, 0, 0, 0, 0},
    {L"150mm x 150mm", 150, 150, 0, 0, 0, 0},
    {L"200mm x 200mm", 200, 200, 0, 0, 0, 0},
    {L"Custom C5", 162, 229, 0, 0, 0, 0},
    {L"Custom IOS B5", 176, 250, 0, 0, 0, 0},
    {L"Custom Envolope", 110, 230, 0, 0, 0, 0},
    {L"Custom PRC 16K", 188, 260, 0, 0, 0, 0},
};

// The spooler counts in thousandths of a millimetre.
FORM_INFO_1W MakeForm(const CustomForm& row) {
    FORM_INFO_1W form;
    std::memset(&form, 0, sizeof form);
    form.Flags = FORM_USER;
    form.pName = const_cast<LPWSTR>(row.name);
    form.Size.cx = row.width * 1000;
    form.Size.cy = row.height * 1000;
    form.ImageableArea.left = row.left * 1000;
    form.ImageableArea.top = row.top * 1000;
    form.ImageableArea.right = row.width * 1000 - row.right * 1000;
    form.ImageableArea.bottom = row.height * 1000 - row.bottom * 1000;
    return form;
}

bool IsModelDriver(const wchar_t* driverName) {
    for (const PrinterModelInfo& row : gPrinterModelTable) {
        if (lstrcmpW(driverName, row.driverName) == 0) return true;
    }
    return false;
}

}  // namespace

BOOL CPrinterDeviceObject::InitForms(const wchar_t* printerName) {
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
    if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, &defaults)) {
        LOG_ERR(L"InitForms:OpenPrinter failed ! (GetLastError = 0x{0:x})", GetLastError());
        return FALSE;
    }
    BOOL bRet = FALSE;
    for (const CustomForm& row : FormsTable) {
        FORM_INFO_1W form = MakeForm(row);
        bRet = printer ? AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form)) : FALSE;
        LOG_TRACE(L"InitForms:addCustomPaper, bRet={0}, formName={1}", bRet, row.name);
    }
    ClosePrinter(printer);
    return bRet;
}

int CPrinterDeviceObject::RemoveForms() {
    SpoolerList<PRINTER_INFO_2W> printers([](LPBYTE buffer, DWORD size, LPDWORD needed, LPDWORD returned) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL, nullptr, 2, buffer, size, needed, returned);
    });
    if (printers.status() == SpoolerList<PRINTER_INFO_2W>::FAILED) LOG_WARN(L"RemoveForms: Failed to EnumPrinters 2");
    if (printers.status() != SpoolerList<PRINTER_INFO_2W>::READ) return INSTALL_ERR_SPOOLER_LIST;
    for (const PRINTER_INFO_2W& info : printers) {
        LOG_TRACE(L"RemoveForms: delCustomPaper pPortName={0}, pPrinterName={1}, pDriverName={2}", info.pPortName,
                  info.pPrinterName, info.pDriverName);
        if (!IsModelDriver(info.pDriverName)) continue;
        HANDLE printer = nullptr;
        PRINTER_DEFAULTSW defaults = {nullptr, nullptr, PRINTER_ACCESS_ADMINISTER};
        if (!OpenPrinterW(info.pPrinterName, &printer, &defaults)) {
            LOG_ERR(L"delCustomPaper:OpenPrinter failed ! (GetLastError = 0x{0:x})", GetLastError());
            break;
        }
        for (const CustomForm& row : FormsTable) {
            BOOL bRet = DeleteFormW(printer, const_cast<LPWSTR>(row.name));
            LOG_TRACE(L"delCustomPaper:DeleteForm, bRet={0:d}, formName={1}", bRet, row.name);
        }
        ClosePrinter(printer);
        break;
    }
    return INSTALL_OK;
}
