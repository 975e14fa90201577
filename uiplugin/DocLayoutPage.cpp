#include "DocLayoutPage.h"

#include <winspool.h>

#include <cstring>

#include "PrinterSettings.h"
#include "SheetContext.h"

LRESULT CDocLayoutPage::InitPage(UINT, WPARAM, LPARAM, BOOL&) {
    m_initialized = 1;
    return TRUE;
}

// A page that was never shown has nothing to commit. The record goes to the printer's data and, once
// stored there, into the sheet's private DEVMODE part.
int CDocLayoutPage::Apply() {
    if (!m_initialized || !m_pContext || !m_pContext->pSettings) return 0;
    DWORD result = SetPrinterDataW(m_pContext->hPrinter, const_cast<LPWSTR>(kPrinterSettingsValue), REG_BINARY,
                                   reinterpret_cast<LPBYTE>(m_pContext->pSettings), sizeof(QVPrinterSettings));
    if (result != ERROR_SUCCESS) return 0;
    if (m_pContext->pOemDevMode) {
        std::memcpy(&m_pContext->pOemDevMode->body, m_pContext->pSettings, sizeof(QVPrinterSettings));
    }
    return 1;
}
