// The "Printer Config" page of the document sheet: the device settings of the label printer kept in the
// settings record. Settings the printer keeps itself (media type with its gap cut type, print method,
// paper location offset) reach the record only once their printer command went through at Apply.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <cstdint>

#include "VPage.h"
#include "resource.h"

struct QVPrinterSettings;

class CDocLayoutPage : public VPage {
public:
    CDocLayoutPage() = default;

    int Apply() override;
    int GetTemplateId() override { return IDD_DOC_LAYOUT; }
    LRESULT InitPage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override;

    // TSPL (TRUE) makes media type, speed, density and both offsets usable and greys Fade Lines out.
    void EnableByCmdType(BOOL enable);

    void InitOffsets();
    void InitRotation();
    void InitEffect();
    void InitKeyOptions();
    void InitSpeed();
    void InitDensity();
    void InitMediaType();
    void InitCmdType();
    void InitFadeLines();
    void InitCutter();
    void InitGapCutType();
    void InitPrintMethod();
    void InitAlignMode();
    void InitPaperCut();
    void InitPaperLocation();

    BOOL SendAutoTuneCmd();
    BOOL SendMediaTypeCmd();
    BOOL SendPrintMethodCmd();
    BOOL SendPaperLocationCmd(BYTE offset);

    LRESULT OnMirror(WORD, WORD, HWND, BOOL&);
    LRESULT OnInverse(WORD, WORD, HWND, BOOL&);
    LRESULT OnAutoDotted(WORD, WORD, HWND, BOOL&);
    LRESULT OnPauseKey(WORD, WORD, HWND, BOOL&);
    LRESULT OnWatermark(WORD, WORD, HWND, BOOL&);
    LRESULT OnCutter(WORD, WORD, HWND, BOOL&);
    LRESULT OnRotate0(WORD, WORD, HWND, BOOL&);
    LRESULT OnRotate90(WORD, WORD, HWND, BOOL&);
    LRESULT OnRotate180(WORD, WORD, HWND, BOOL&);
    LRESULT OnRotate270(WORD, WORD, HWND, BOOL&);
    LRESULT OnSpeed(WORD, WORD, HWND, BOOL&);
    LRESULT OnDensity(WORD, WORD, HWND, BOOL&);
    LRESULT OnFadeLines(WORD, WORD, HWND, BOOL&);
    LRESULT OnCmdType(WORD, WORD, HWND, BOOL&);
    LRESULT OnMediaType(WORD, WORD, HWND, BOOL&);
    LRESULT OnGapCutType(WORD, WORD, HWND, BOOL&);
    LRESULT OnPrintMethod(WORD, WORD, HWND, BOOL&);
    LRESULT OnAlignMode(WORD, WORD, HWND, BOOL&);
    LRESULT OnPaperCutMode(WORD, WORD, HWND, BOOL&);
    LRESULT OnPaperAutoTune(WORD, WORD, HWND, BOOL&);
    LRESULT OnEditKillFocus(WORD, WORD, HWND, BOOL&);
    LRESULT OnSpin(int, LPNMHDR, BOOL&);

    V_BEGIN_MSG_MAP()
        V_MESSAGE_HANDLER(WM_INITDIALOG, InitPage)
        V_COMMAND_HANDLER(IDC_OFFSET_X, EN_KILLFOCUS, OnEditKillFocus)
        V_COMMAND_HANDLER(IDC_OFFSET_Y, EN_KILLFOCUS, OnEditKillFocus)
        V_COMMAND_HANDLER(IDC_ROTATE_0, BN_CLICKED, OnRotate0)
        V_COMMAND_HANDLER(IDC_ROTATE_90, BN_CLICKED, OnRotate90)
        V_COMMAND_HANDLER(IDC_ROTATE_180, BN_CLICKED, OnRotate180)
        V_COMMAND_HANDLER(IDC_ROTATE_270, BN_CLICKED, OnRotate270)
        V_COMMAND_HANDLER(IDC_MIRROR, BN_CLICKED, OnMirror)
        V_COMMAND_HANDLER(IDC_INVERSE, BN_CLICKED, OnInverse)
        V_COMMAND_HANDLER(IDC_AUTO_DOTTED, BN_CLICKED, OnAutoDotted)
        V_COMMAND_HANDLER(IDC_PAUSE_KEY, BN_CLICKED, OnPauseKey)
        V_COMMAND_HANDLER(IDC_WATERMARK, BN_CLICKED, OnWatermark)
        V_COMMAND_HANDLER(IDC_SPEED, CBN_SELCHANGE, OnSpeed)
        V_COMMAND_HANDLER(IDC_DENSITY, CBN_SELCHANGE, OnDensity)
        V_COMMAND_HANDLER(IDC_MEDIA_TYPE, CBN_SELCHANGE, OnMediaType)
        V_COMMAND_HANDLER(IDC_CMD_TYPE, CBN_SELCHANGE, OnCmdType)
        V_COMMAND_HANDLER(IDC_FADE_LINES, CBN_SELCHANGE, OnFadeLines)
        V_COMMAND_HANDLER(IDC_CUTTER, BN_CLICKED, OnCutter)
        V_COMMAND_HANDLER(IDC_GAP_CUT_TYPE, CBN_SELCHANGE, OnGapCutType)
        V_COMMAND_HANDLER(IDC_PAPER_AUTO_TUNE, BN_CLICKED, OnPaperAutoTune)
        V_COMMAND_HANDLER(IDC_PRINT_METHOD, CBN_SELCHANGE, OnPrintMethod)
        V_COMMAND_HANDLER(IDC_ALIGN_MODE, CBN_SELCHANGE, OnAlignMode)
        V_COMMAND_HANDLER(IDC_PAPER_CUT_MODE, CBN_SELCHANGE, OnPaperCutMode)
        V_COMMAND_HANDLER(IDC_HEAD_RESERVE, EN_KILLFOCUS, OnEditKillFocus)
        V_COMMAND_HANDLER(IDC_TAIL_RESERVE, EN_KILLFOCUS, OnEditKillFocus)
        V_COMMAND_HANDLER(IDC_PAPER_LOCATION, EN_KILLFOCUS, OnEditKillFocus)
        V_NOTIFY_HANDLER(IDC_OFFSET_X_SPIN, UDN_DELTAPOS, OnSpin)
        V_NOTIFY_HANDLER(IDC_OFFSET_Y_SPIN, UDN_DELTAPOS, OnSpin)
        V_NOTIFY_HANDLER(IDC_HEAD_RESERVE_SPIN, UDN_DELTAPOS, OnSpin)
        V_NOTIFY_HANDLER(IDC_TAIL_RESERVE_SPIN, UDN_DELTAPOS, OnSpin)
        V_NOTIFY_HANDLER(IDC_PAPER_LOCATION_SPIN, UDN_DELTAPOS, OnSpin)
    V_END_MSG_MAP()

private:
    QVPrinterSettings* Settings() const;
    HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
    void SignalChanged();
    int Selection(int comboId) const;
    LRESULT CheckRule(int boxId, int32_t& field);
    LRESULT RotateRule(int32_t value);
    LRESULT NumberListRule(int comboId, int32_t& field, int32_t first, int32_t fallback);
    QVPrinterSettings Defaults() const;
    int32_t Chosen(int comboId, int32_t first, int32_t fallback) const;
    void EnableByMediaType();
    void KeepWithinControls();
    // A millimetre or paper location edit's number within its up-down's range.
    float ReadField(int editId) const;

    int32_t m_pendingMediaType = 0;
    int32_t m_pendingGapCutType = 0;
    int32_t m_pendingPrintMethod = 0;
    // The record the page was filled from was the printer's (or the defaults made because it had none).
    bool m_shownRead = false;
};
