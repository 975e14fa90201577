// The driver UI controller: option items and property sheets.
#pragma once
#include <windows.h>
#include <prcomoem.h>

#include "SheetContext.h"

enum SheetKind { kDocumentSheet = 1, kDeviceSheet = 2 };

class QVDrvUI {
public:
    QVDrvUI() = default;
    virtual ~QVDrvUI() = default;
    QVDrvUI(const QVDrvUI&) = delete;
    QVDrvUI& operator=(const QVDrvUI&) = delete;

    HRESULT CommonUIProp(DWORD dwMode, POEMCUIPPARAM pOemCUIPParam);
    HRESULT PropertySheets(PPROPSHEETUI_INFO pPSUIInfo, LPARAM lParam, SheetContext* context, SheetKind kind);
};
