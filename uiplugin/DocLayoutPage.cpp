#include "DocLayoutPage.h"

#include <winspool.h>

#include <cmath>
#include <cstring>
#include <cwchar>

#include "ModelCaps.h"
#include "Module.h"
#include "PrinterSettings.h"
#include "SheetContext.h"

namespace {

constexpr int kTextChars = 260;
constexpr int kListTextChars = 128;
constexpr size_t kCommandBuffer = 64;
constexpr double kTenths = 10.0;

// Truncation toward zero, saturated at the ends of int (a NaN gives 0): the plain conversion of a value
// out of range is undefined, and the record may hold anything.
int32_t TruncateToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(value);
}

struct ListRange {
    int32_t first;
    int32_t last;
};

ListRange SpeedRange(int32_t modelId) {
    const ModelCaps* caps = FindModelCaps(modelId);
    return caps ? ListRange{caps->speedMin, caps->speedMax} : ListRange{1, 8};
}

ListRange DensityRange(int32_t modelId) {
    const ModelCaps* caps = FindModelCaps(modelId);
    return caps ? ListRange{caps->densityMin, caps->densityMax} : ListRange{1, 15};
}

ListRange FadeLinesRange(int32_t modelId) {
    const ModelCaps* caps = FindModelCaps(modelId);
    return caps ? ListRange{caps->fadeLinesMin, caps->fadeLinesMax} : ListRange{0, 8};
}

bool InList(int32_t value, ListRange range) { return value >= range.first && value <= range.last; }

// A value no control of the list can show becomes the model's default.
template <class Field>
void KeepInList(Field& value, ListRange range, int32_t fallback) {
    if (!InList(value, range)) value = static_cast<Field>(fallback);
}

// A check box holds 0 or 1; anything else shows unchecked.
void KeepChecked(int32_t& value) {
    if (value != 1) value = 0;
}

bool HasKeyOptions(int32_t modelId) { return modelId == 27 || modelId == 28; }
bool HasCmdType(int32_t modelId) { return modelId >= 30 && modelId <= 35; }
bool HasCutter(int32_t modelId) { return modelId >= 44 && modelId <= 47; }

// A string that does not load is left out, so later ones move up a place.
void FillStrings(HWND combo, const UINT* ids, size_t count) {
    int position = 0;
    for (size_t i = 0; i < count; ++i) {
        WCHAR text[kListTextChars] = {};
        if (LoadStringW(ghModule, ids[i], text, kListTextChars) > 0) {
            SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(position++), reinterpret_cast<LPARAM>(text));
        }
    }
}

void FillNumbers(HWND combo, ListRange range, const wchar_t* format) {
    int position = 0;
    for (int64_t value = range.first; value <= range.last; ++value) {
        WCHAR text[kListTextChars] = {};
        swprintf_s(text, kListTextChars, format, static_cast<int>(value));
        SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(position++), reinterpret_cast<LPARAM>(text));
    }
}

void Select(HWND combo, int64_t index) {
    // An index beyond int selects nothing, as any other index outside the list does.
    WPARAM wanted = index < INT32_MIN || index > INT32_MAX ? static_cast<WPARAM>(-1)
                                                           : static_cast<WPARAM>(static_cast<int>(index));
    SendMessageW(combo, CB_SETCURSEL, wanted, 0);
}

void Check(HWND box) { SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0); }

void Hide(HWND control) { ShowWindow(control, SW_HIDE); }

// A millimetre field: the up-down counts tenths, the edit shows the truncated tenths.
void ShowMillimetres(HWND upDown, HWND edit, int range, float value) {
    SendMessageW(upDown, UDM_SETRANGE32, static_cast<WPARAM>(-range), range);
    SendMessageW(upDown, UDM_SETBASE, 10, 0);
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    SendMessageW(upDown, UDM_SETPOS32, 0, TruncateToInt(static_cast<double>(value) * kTenths));
    // Where the up-down kept it: a record value beyond the range shows as the nearest end.
    auto position = static_cast<int32_t>(SendMessageW(upDown, UDM_GETPOS32, 0, 0));
    WCHAR text[kTextChars] = {};
    swprintf_s(text, kTextChars, L"%.1f", static_cast<double>(static_cast<float>(position)) / kTenths);
    SetWindowTextW(edit, text);
}

// The up-down that goes with an edit, and the reverse; 0 for neither.
struct FieldPair {
    int edit;
    int upDown;
    bool whole;
};
constexpr FieldPair kFields[] = {
    {IDC_OFFSET_X, IDC_OFFSET_X_SPIN, false},       {IDC_OFFSET_Y, IDC_OFFSET_Y_SPIN, false},
    {IDC_HEAD_RESERVE, IDC_HEAD_RESERVE_SPIN, false}, {IDC_TAIL_RESERVE, IDC_TAIL_RESERVE_SPIN, false},
    {IDC_PAPER_LOCATION, IDC_PAPER_LOCATION_SPIN, true},
};

const FieldPair* FieldOfEdit(int id) {
    for (const FieldPair& f : kFields) {
        if (f.edit == id) return &f;
    }
    return nullptr;
}

const FieldPair* FieldOfUpDown(int id) {
    for (const FieldPair& f : kFields) {
        if (f.upDown == id) return &f;
    }
    return nullptr;
}

}  // namespace

QVPrinterSettings* CDocLayoutPage::Settings() const { return m_pContext ? m_pContext->pSettings : nullptr; }

void CDocLayoutPage::SignalChanged() {
    SendMessageW(GetParent(m_hWnd), PSM_CHANGED, reinterpret_cast<WPARAM>(m_hWnd), 0);
}

int CDocLayoutPage::Selection(int comboId) const {
    return static_cast<int>(SendMessageW(Item(comboId), CB_GETCURSEL, 0, 0));
}

// Without a record there is nothing to show; the page stays as its template made it.
LRESULT CDocLayoutPage::InitPage(UINT, WPARAM, LPARAM, BOOL&) {
    CenterWindow(GetParent(m_hWnd));
    if (!Settings()) return TRUE;
    m_shownRead = m_pContext->settingsRead;
    InitOffsets();
    InitRotation();
    InitEffect();
    InitKeyOptions();
    InitSpeed();
    InitDensity();
    InitMediaType();
    InitCmdType();
    InitFadeLines();
    InitCutter();
    InitGapCutType();
    InitPrintMethod();
    InitAlignMode();
    InitPaperCut();
    InitPaperLocation();
    m_initialized = 1;
    return TRUE;  // the dialog manager sets the default focus
}

void CDocLayoutPage::InitOffsets() {
    ShowMillimetres(Item(IDC_OFFSET_X_SPIN), Item(IDC_OFFSET_X), 1000, Settings()->offsetX);
    ShowMillimetres(Item(IDC_OFFSET_Y_SPIN), Item(IDC_OFFSET_Y), 1000, Settings()->offsetY);
}

void CDocLayoutPage::InitRotation() {
    static const int kRadios[] = {IDC_ROTATE_0, IDC_ROTATE_90, IDC_ROTATE_180, IDC_ROTATE_270};
    int32_t rotation = Settings()->rotation;
    if (rotation >= 0 && rotation <= 3) Check(Item(kRadios[rotation]));
}

void CDocLayoutPage::InitEffect() {
    if (Settings()->mirror == 1) Check(Item(IDC_MIRROR));
    if (Settings()->inverse == 1) Check(Item(IDC_INVERSE));
}

void CDocLayoutPage::InitKeyOptions() {
    const QVPrinterSettings* s = Settings();
    if (HasKeyOptions(s->modelId)) {
        if (s->autoDotted == 1) Check(Item(IDC_AUTO_DOTTED));
        if (s->pauseKey == 1) Check(Item(IDC_PAUSE_KEY));
        if (s->watermark == 1) Check(Item(IDC_WATERMARK));
        return;
    }
    Hide(Item(IDC_AUTO_DOTTED));
    Hide(Item(IDC_PAUSE_KEY));
    Hide(Item(IDC_WATERMARK));
}

void CDocLayoutPage::InitSpeed() {
    ListRange range = SpeedRange(Settings()->modelId);
    FillNumbers(Item(IDC_SPEED), range, L"%.d");
    Select(Item(IDC_SPEED), static_cast<int64_t>(Settings()->speed) - range.first);
}

void CDocLayoutPage::InitDensity() {
    ListRange range = DensityRange(Settings()->modelId);
    FillNumbers(Item(IDC_DENSITY), range, L"%.d");
    Select(Item(IDC_DENSITY), static_cast<int64_t>(Settings()->density) - range.first);
}

void CDocLayoutPage::EnableByMediaType() {
    EnableWindow(Item(IDC_GAP_CUT_TYPE), m_pendingMediaType == kMediaGapLabels);
    EnableWindow(Item(IDC_PAPER_LOCATION_SPIN), m_pendingMediaType == kMediaMarkLabels);
    EnableWindow(Item(IDC_PAPER_LOCATION), m_pendingMediaType == kMediaMarkLabels);
}

void CDocLayoutPage::InitMediaType() {
    static const UINT kStrings[] = {IDS_MEDIA_CONTINUOUS, IDS_MEDIA_GAP_LABELS, IDS_MEDIA_MARK_LABELS};
    FillStrings(Item(IDC_MEDIA_TYPE), kStrings, 3);
    m_pendingMediaType = Settings()->mediaType;
    EnableByMediaType();
    Select(Item(IDC_MEDIA_TYPE), m_pendingMediaType);
}

void CDocLayoutPage::InitCmdType() {
    const QVPrinterSettings* s = Settings();
    if (!HasCmdType(s->modelId)) {
        Hide(Item(IDC_CMD_TYPE));
        Hide(Item(IDC_CMD_TYPE_LABEL));
        return;
    }
    static const UINT kStrings[] = {IDS_CMD_TSPL, IDS_CMD_ESC_POS};
    FillStrings(Item(IDC_CMD_TYPE), kStrings, 2);
    Select(Item(IDC_CMD_TYPE), s->cmdType);
    if (s->cmdType == kCmdEscPos) EnableByCmdType(FALSE);
    else if (s->cmdType == kCmdTspl) EnableByCmdType(TRUE);
}

void CDocLayoutPage::InitFadeLines() {
    const QVPrinterSettings* s = Settings();
    if (!HasCmdType(s->modelId)) {
        Hide(Item(IDC_FADE_LINES));
        Hide(Item(IDC_FADE_LINES_LABEL));
        return;
    }
    ListRange range = FadeLinesRange(s->modelId);
    FillNumbers(Item(IDC_FADE_LINES), range, L"%d");
    Select(Item(IDC_FADE_LINES), static_cast<int64_t>(s->fadeLines) - range.first);
}

void CDocLayoutPage::InitCutter() {
    if (!HasCutter(Settings()->modelId)) {
        Hide(Item(IDC_CUTTER));
        return;
    }
    if (Settings()->cutter == 1) Check(Item(IDC_CUTTER));
}

void CDocLayoutPage::InitGapCutType() {
    static const UINT kStrings[] = {IDS_CUT_ON_PAGE, IDS_CUT_ON_LAST};
    FillStrings(Item(IDC_GAP_CUT_TYPE), kStrings, 2);
    m_pendingGapCutType = Settings()->gapCutType;
    Select(Item(IDC_GAP_CUT_TYPE), m_pendingGapCutType);
}

void CDocLayoutPage::InitPrintMethod() {
    static const UINT kStrings[] = {IDS_PRINT_METHOD_DEFAULT, IDS_PRINT_METHOD_SAVE_ENERGY};
    FillStrings(Item(IDC_PRINT_METHOD), kStrings, 2);
    m_pendingPrintMethod = Settings()->printMethod;
    Select(Item(IDC_PRINT_METHOD), m_pendingPrintMethod);
}

void CDocLayoutPage::InitAlignMode() {
    static const UINT kStrings[] = {IDS_ALIGN_CENTER, IDS_ALIGN_LEFT, IDS_ALIGN_RIGHT};
    FillStrings(Item(IDC_ALIGN_MODE), kStrings, 3);
    Select(Item(IDC_ALIGN_MODE), Settings()->alignMode);
}

void CDocLayoutPage::InitPaperCut() {
    static const UINT kStrings[] = {IDS_PAPER_CUT_NONE, IDS_PAPER_CUT_HEAD_AND_TAIL, IDS_PAPER_CUT_TAIL};
    FillStrings(Item(IDC_PAPER_CUT_MODE), kStrings, 3);
    Select(Item(IDC_PAPER_CUT_MODE), Settings()->paperCutMode);
    ShowMillimetres(Item(IDC_HEAD_RESERVE_SPIN), Item(IDC_HEAD_RESERVE), 10000, Settings()->headReserve);
    ShowMillimetres(Item(IDC_TAIL_RESERVE_SPIN), Item(IDC_TAIL_RESERVE), 10000, Settings()->tailReserve);
}

void CDocLayoutPage::InitPaperLocation() {
    HWND upDown = Item(IDC_PAPER_LOCATION_SPIN);
    HWND edit = Item(IDC_PAPER_LOCATION);
    SendMessageW(upDown, UDM_SETRANGE32, 0, 255);
    SendMessageW(upDown, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    SendMessageW(upDown, UDM_SETPOS32, 0, Settings()->paperLocationOffset);
    // The edit shows what the up-down kept: a stored value beyond its range is never shown, nor stored back.
    WCHAR text[kTextChars] = {};
    swprintf_s(text, kTextChars, L"%d", static_cast<int>(SendMessageW(upDown, UDM_GETPOS32, 0, 0)));
    SetWindowTextW(edit, text);
}

void CDocLayoutPage::EnableByCmdType(BOOL enable) {
    EnableWindow(Item(IDC_FADE_LINES), !enable);
    static const int kTsplOnly[] = {IDC_MEDIA_TYPE, IDC_DENSITY,  IDC_SPEED,        IDC_OFFSET_X,
                                    IDC_OFFSET_X_SPIN, IDC_OFFSET_Y, IDC_OFFSET_Y_SPIN};
    for (int id : kTsplOnly) EnableWindow(Item(id), enable);
}

LRESULT CDocLayoutPage::CheckRule(int boxId, int32_t& field) {
    int32_t wanted = SendMessageW(Item(boxId), BM_GETCHECK, 0, 0) != 0 ? 1 : 0;
    if (field == wanted) return 0;
    field = wanted;
    SignalChanged();
    return 0;
}

LRESULT CDocLayoutPage::RotateRule(int32_t value) {
    if (Settings()->rotation == value) return 0;
    Settings()->rotation = value;
    SignalChanged();
    return 0;
}

QVPrinterSettings CDocLayoutPage::Defaults() const {
    QVPrinterSettings defaults;
    DefaultPrinterSettings(Settings()->modelId, &defaults);
    return defaults;
}

// A list left without a selection stands for the model's default: the record, which the option items may
// store before the page's Apply runs, never holds what no entry means.
int32_t CDocLayoutPage::Chosen(int comboId, int32_t first, int32_t fallback) const {
    int selection = Selection(comboId);
    return selection == CB_ERR ? fallback : selection + first;
}

LRESULT CDocLayoutPage::NumberListRule(int comboId, int32_t& field, int32_t first, int32_t fallback) {
    int32_t stored = Chosen(comboId, first, fallback);
    if (field == stored) return 0;
    field = stored;
    SignalChanged();
    return 0;
}

// Each handler below has nothing to change without a record.
LRESULT CDocLayoutPage::OnMirror(WORD, WORD, HWND, BOOL&) { return Settings() ? CheckRule(IDC_MIRROR, Settings()->mirror) : 0; }
LRESULT CDocLayoutPage::OnInverse(WORD, WORD, HWND, BOOL&) { return Settings() ? CheckRule(IDC_INVERSE, Settings()->inverse) : 0; }
LRESULT CDocLayoutPage::OnAutoDotted(WORD, WORD, HWND, BOOL&) {
    return Settings() ? CheckRule(IDC_AUTO_DOTTED, Settings()->autoDotted) : 0;
}
LRESULT CDocLayoutPage::OnPauseKey(WORD, WORD, HWND, BOOL&) { return Settings() ? CheckRule(IDC_PAUSE_KEY, Settings()->pauseKey) : 0; }
LRESULT CDocLayoutPage::OnWatermark(WORD, WORD, HWND, BOOL&) {
    return Settings() ? CheckRule(IDC_WATERMARK, Settings()->watermark) : 0;
}
LRESULT CDocLayoutPage::OnCutter(WORD, WORD, HWND, BOOL&) { return Settings() ? CheckRule(IDC_CUTTER, Settings()->cutter) : 0; }
LRESULT CDocLayoutPage::OnRotate0(WORD, WORD, HWND, BOOL&) { return Settings() ? RotateRule(0) : 0; }
LRESULT CDocLayoutPage::OnRotate90(WORD, WORD, HWND, BOOL&) { return Settings() ? RotateRule(1) : 0; }
LRESULT CDocLayoutPage::OnRotate180(WORD, WORD, HWND, BOOL&) { return Settings() ? RotateRule(2) : 0; }
LRESULT CDocLayoutPage::OnRotate270(WORD, WORD, HWND, BOOL&) { return Settings() ? RotateRule(3) : 0; }

LRESULT CDocLayoutPage::OnSpeed(WORD, WORD, HWND, BOOL&) {
    if (!Settings()) return 0;
    return NumberListRule(IDC_SPEED, Settings()->speed, SpeedRange(Settings()->modelId).first, Defaults().speed);
}

LRESULT CDocLayoutPage::OnDensity(WORD, WORD, HWND, BOOL&) {
    if (!Settings()) return 0;
    return NumberListRule(IDC_DENSITY, Settings()->density, DensityRange(Settings()->modelId).first, Defaults().density);
}

LRESULT CDocLayoutPage::OnFadeLines(WORD, WORD, HWND, BOOL&) {
    if (!Settings()) return 0;
    return NumberListRule(IDC_FADE_LINES, Settings()->fadeLines, FadeLinesRange(Settings()->modelId).first,
                          Defaults().fadeLines);
}

LRESULT CDocLayoutPage::OnCmdType(WORD, WORD, HWND, BOOL&) {
    QVPrinterSettings* s = Settings();
    if (!s) return 0;
    int32_t value = Chosen(IDC_CMD_TYPE, 0, Defaults().cmdType);
    bool changed = value != s->cmdType;
    if (changed) s->cmdType = value;
    if (s->cmdType == kCmdEscPos) EnableByCmdType(FALSE);
    else if (s->cmdType == kCmdTspl) EnableByCmdType(TRUE);
    if (changed) SignalChanged();
    return 0;
}

LRESULT CDocLayoutPage::OnMediaType(WORD, WORD, HWND, BOOL&) {
    int32_t value = Selection(IDC_MEDIA_TYPE);
    if (value != m_pendingMediaType) {
        m_pendingMediaType = value;
        SignalChanged();
    }
    EnableByMediaType();
    return 0;
}

LRESULT CDocLayoutPage::OnGapCutType(WORD, WORD, HWND, BOOL&) {
    int32_t value = Selection(IDC_GAP_CUT_TYPE);
    if (value == m_pendingGapCutType) return 0;
    m_pendingGapCutType = value;
    SignalChanged();
    return 0;
}

LRESULT CDocLayoutPage::OnPrintMethod(WORD, WORD, HWND, BOOL&) {
    int32_t value = Selection(IDC_PRINT_METHOD);
    if (value == m_pendingPrintMethod) return 0;
    m_pendingPrintMethod = value;
    SignalChanged();
    return 0;
}

LRESULT CDocLayoutPage::OnAlignMode(WORD, WORD, HWND, BOOL&) {
    QVPrinterSettings* s = Settings();
    if (!s) return 0;
    auto value = static_cast<int8_t>(Chosen(IDC_ALIGN_MODE, 0, Defaults().alignMode) & 0xFF);
    if (value == s->alignMode) return 0;
    s->alignMode = value;
    SignalChanged();
    return 0;
}

LRESULT CDocLayoutPage::OnPaperCutMode(WORD, WORD, HWND, BOOL&) {
    QVPrinterSettings* s = Settings();
    if (!s) return 0;
    auto value = static_cast<int8_t>(Chosen(IDC_PAPER_CUT_MODE, 0, Defaults().paperCutMode) & 0xFF);
    if (value == s->paperCutMode) return 0;
    s->paperCutMode = value;
    SignalChanged();
    return 0;
}

// A failed tune shows nothing: the printer simply does not tune.
LRESULT CDocLayoutPage::OnPaperAutoTune(WORD, WORD, HWND, BOOL&) {
    SendAutoTuneCmd();
    return 0;
}

LRESULT CDocLayoutPage::OnEditKillFocus(WORD, WORD id, HWND, BOOL&) {
    const FieldPair* field = FieldOfEdit(id);
    if (!field) return 0;
    VEdit edit(Item(field->edit));
    HWND upDown = Item(field->upDown);
    int moved = field->whole ? SyncSpinInt(edit, upDown, 0) : SyncSpinFloat(edit, upDown, 10.0f, 0);
    if (moved) SignalChanged();
    return 0;
}

float CDocLayoutPage::ReadField(int editId) const {
    const FieldPair* field = FieldOfEdit(editId);
    return ReadEditInRange(VEdit(Item(editId)), Item(field->upDown), field->whole ? 1.0f : 10.0f);
}

// The up-down goes on with its own step afterwards: the page never cancels one.
LRESULT CDocLayoutPage::OnSpin(int, LPNMHDR header, BOOL&) {
    const FieldPair* field = header ? FieldOfUpDown(static_cast<int>(header->idFrom)) : nullptr;
    if (!field) return 0;
    int delta = reinterpret_cast<LPNMUPDOWN>(header)->iDelta;
    VEdit edit(Item(field->edit));
    HWND upDown = Item(field->upDown);
    if (field->whole) SyncSpinInt(edit, upDown, delta);
    else SyncSpinFloat(edit, upDown, 10.0f, delta);
    SignalChanged();
    return 0;
}

BOOL CDocLayoutPage::SendAutoTuneCmd() {
    BYTE command[kCommandBuffer] = {};
    command[0] = 0x1B;
    command[1] = 0x1B;
    return SendRawCommand(command, 2);
}

BOOL CDocLayoutPage::SendMediaTypeCmd() {
    BYTE command[kCommandBuffer] = {};
    DWORD length = 0;
    int parameter = -1;
    if (m_pendingMediaType == kMediaContinuous) parameter = 0;
    else if (m_pendingMediaType == kMediaGapLabels && m_pendingGapCutType == 0) parameter = 1;
    else if (m_pendingMediaType == kMediaGapLabels && m_pendingGapCutType == 1) parameter = 2;
    else if (m_pendingMediaType == kMediaMarkLabels) parameter = 3;
    if (parameter >= 0) {
        command[0] = 0x1B;
        command[1] = 0x01;
        command[2] = static_cast<BYTE>(parameter);
        length = 3;
    }
    return SendRawCommand(command, length);
}

// The device's byte is the opposite of the stored choice: 1 for "Default", 0 for "Save Energy".
BOOL CDocLayoutPage::SendPrintMethodCmd() {
    BYTE command[kCommandBuffer] = {};
    DWORD length = 0;
    if (m_pendingPrintMethod == 0 || m_pendingPrintMethod == 1) {
        command[0] = 0x1B;
        command[1] = 0x05;
        command[2] = m_pendingPrintMethod == 0 ? 1 : 0;
        length = 3;
    }
    return SendRawCommand(command, length);
}

BOOL CDocLayoutPage::SendPaperLocationCmd(BYTE offset) {
    BYTE command[kCommandBuffer] = {};
    command[0] = 0x1B;
    command[1] = 0x04;
    command[2] = offset;
    return SendRawCommand(command, 3);
}

// A record written elsewhere may hold what none of the page's controls can: such a value is neither
// stored nor sent. A choice the printer keeps falls back on the stored value, else on the model's default;
// a setting stored at once on the default. Controls the model does not show leave their fields alone.
void CDocLayoutPage::KeepWithinControls() {
    QVPrinterSettings* s = Settings();
    QVPrinterSettings defaults = Defaults();
    constexpr ListRange kMediaTypes{kMediaContinuous, kMediaMarkLabels}, kTwoChoices{0, 1}, kThreeChoices{0, 2};
    constexpr ListRange kRotations{0, 3};
    KeepInList(m_pendingMediaType, kMediaTypes, InList(s->mediaType, kMediaTypes) ? s->mediaType : defaults.mediaType);
    KeepInList(m_pendingGapCutType, kTwoChoices, InList(s->gapCutType, kTwoChoices) ? s->gapCutType : defaults.gapCutType);
    KeepInList(m_pendingPrintMethod, kTwoChoices,
               InList(s->printMethod, kTwoChoices) ? s->printMethod : defaults.printMethod);
    KeepInList(s->rotation, kRotations, defaults.rotation);
    KeepInList(s->speed, SpeedRange(s->modelId), defaults.speed);
    KeepInList(s->density, DensityRange(s->modelId), defaults.density);
    KeepInList(s->alignMode, kThreeChoices, defaults.alignMode);
    KeepInList(s->paperCutMode, kThreeChoices, defaults.paperCutMode);
    KeepChecked(s->mirror);
    KeepChecked(s->inverse);
    if (HasKeyOptions(s->modelId)) {
        KeepChecked(s->autoDotted);
        KeepChecked(s->pauseKey);
        KeepChecked(s->watermark);
    }
    if (HasCmdType(s->modelId)) {
        KeepInList(s->cmdType, kTwoChoices, defaults.cmdType);
        KeepInList(s->fadeLines, FadeLinesRange(s->modelId), defaults.fadeLines);
    }
    if (HasCutter(s->modelId)) KeepChecked(s->cutter);
}

// A setting the printer keeps is stored only once its command went through; a failed command stops the
// commit, so the next Apply sends it again.
int CDocLayoutPage::Apply() {
    QVPrinterSettings* s = Settings();
    // A page filled from a record that could not be read (or from none at all) shows defaults or zeros:
    // storing them, or sending from them, would lose the printer's settings.
    if (!m_initialized || !s || !m_shownRead) return 0;
    KeepWithinControls();
    if (m_pendingMediaType != s->mediaType || m_pendingGapCutType != s->gapCutType) {
        if (!SendMediaTypeCmd()) return 0;
        s->mediaType = m_pendingMediaType;
        s->gapCutType = m_pendingGapCutType;
    }
    if (m_pendingPrintMethod != s->printMethod) {
        if (!SendPrintMethodCmd()) return 0;
        s->printMethod = m_pendingPrintMethod;
    }
    // The sheet may apply after the page's dialog went (a page removed): its edits went with it, and the
    // record keeps what they last put there.
    if (!m_hWnd) return StoreSheetRecord(m_pContext) ? 1 : 0;
    // Typed and committed with Enter, an edit was never put in step with its up-down: its range holds here.
    s->offsetX = ReadField(IDC_OFFSET_X);
    s->offsetY = ReadField(IDC_OFFSET_Y);
    s->headReserve = ReadField(IDC_HEAD_RESERVE);
    s->tailReserve = ReadField(IDC_TAIL_RESERVE);
    auto location = static_cast<uint16_t>(
        static_cast<uint32_t>(TruncateToInt(static_cast<double>(ReadField(IDC_PAPER_LOCATION)))) & 0xFFFF);
    if (location != s->paperLocationOffset) {
        if (!SendPaperLocationCmd(static_cast<BYTE>(location & 0xFF))) return 0;
        s->paperLocationOffset = location;
    }
    return StoreSheetRecord(m_pContext) ? 1 : 0;
}
