#include "PrinterSettings.h"

#include <cstddef>
#include <cstring>

#include "Helpers.h"
#include "KnownRecords.h"
#include "ModelCaps.h"
#include "PrinterModel.h"
#include "SheetContext.h"

namespace {

// The spooler's prototypes take the value name as a writable string.
LPWSTR ValueName() { return const_cast<LPWSTR>(kPrinterSettingsValue); }

// The fields a model's row supplies; without a row they keep what they hold.
void TakeModelDefaults(int32_t modelId, QVPrinterSettings* record) {
    const ModelCaps* caps = FindModelCaps(modelId);
    if (!caps) return;
    record->modelOption = caps->modelOptionDefault;
    record->speed = caps->speedDefault;
    record->density = caps->densityDefault;
    record->cmdType = caps->cmdTypeDefault;
    record->fadeLines = caps->fadeLinesDefault;
    record->scrimpOnPaper = static_cast<int8_t>(caps->scrimpOnPaperDefault & 0xFF);
    record->modelFlag = static_cast<uint8_t>(caps->flagDefaults & 0xFF);
    record->driverImageOffset = static_cast<int8_t>((caps->flagDefaults >> 8) & 0xFF);
}

// The public DEVMODE's paper, in tenths of a millimetre read as signed 16-bit numbers whatever dmFields
// says, is the record's.
void TakePaperSize(const DEVMODEW* publicDM, QVPrinterSettings* record) {
    if (!publicDM) return;
    record->paperWidth = static_cast<float>(publicDM->dmPaperWidth / 10.0);
    record->paperLength = static_cast<float>(publicDM->dmPaperLength / 10.0);
}

}  // namespace

void DefaultPrinterSettings(int32_t modelId, QVPrinterSettings* record) {
    std::memset(record, 0, sizeof *record);
    record->modelId = modelId;
    record->paperWidth = 76.0f;
    record->paperLength = 130.0f;
    record->mediaType = kMediaContinuous;
    record->resolution = 203;
    record->modelOption = 3;
    record->speed = 5;
    record->density = 8;
    record->cutter = 1;
    TakeModelDefaults(modelId, record);
    record->imageScale = 100;
    if (record->modelId == 27 || record->modelId == 28) {
        record->autoDotted = 0;
        record->pauseKey = 1;
        record->watermark = 0;
    }
}

namespace {

void WriteHeader(QVOemDevMode* part) {
    part->dmOEMExtra.dwSize = sizeof(QVOemDevMode);
    part->dmOEMExtra.dwSignature = kOemSignature;
    part->dmOEMExtra.dwVersion = kOemVersion;
}

HRESULT InvalidParameter() {
    SetLastError(ERROR_INVALID_PARAMETER);
    return E_FAIL;
}

// Both sizes come from headers we do not control: the copy never reaches past our own part's size,
// and a header too small to be one copies nothing.
void ConvertPart(const QVOemDevMode* in, QVOemDevMode* out) {
    if (in->dmOEMExtra.dwSignature == out->dmOEMExtra.dwSignature) {
        DWORD size = in->dmOEMExtra.dwSize < out->dmOEMExtra.dwSize ? in->dmOEMExtra.dwSize : out->dmOEMExtra.dwSize;
        if (size > sizeof(QVOemDevMode)) size = sizeof(QVOemDevMode);
        if (size >= sizeof(OEM_DMEXTRAHEADER)) std::memmove(out, in, size);
        out->dmOEMExtra.dwSize = sizeof(QVOemDevMode);
        out->dmOEMExtra.dwVersion = kOemVersion;
    } else {
        WriteHeader(out);
    }
}

HRESULT DevModeStep(DWORD dwMode, POEMDMPARAM param, QVPrinterSettings* settings, bool paperStep, bool* read) {
    if (!param) return InvalidParameter();
    auto* out = static_cast<QVOemDevMode*>(param->pOEMDMOut);
    switch (dwMode) {
    case OEMDM_SIZE:
        param->cbBufSize = sizeof(QVOemDevMode);
        return S_OK;
    case OEMDM_DEFAULT:
        if (!out) return InvalidParameter();
        WriteHeader(out);
        return S_OK;
    case OEMDM_CONVERT:
        if (param->pOEMDMIn && out) ConvertPart(static_cast<const QVOemDevMode*>(param->pOEMDMIn), out);
        return S_OK;
    case OEMDM_MERGE: {
        if (!out || (paperStep && !param->pPublicDMOut)) return InvalidParameter();
        if (!paperStep) {
            WriteHeader(out);
            LoadPrinterSettings(param->hPrinter, &out->body);
            return S_OK;
        }
        if (!settings) return E_OUTOFMEMORY;  // the object's buffer could not be allocated
        WriteHeader(out);
        bool loaded = LoadPrinterSettings(param->hPrinter, settings);
        if (read) *read = loaded;
        TakePaperSize(param->pPublicDMOut, settings);
        std::memcpy(&out->body, settings, sizeof *settings);
        return S_OK;
    }
    default:
        return InvalidParameter();
    }
}

// False when the printer's driver could not be read: the model is then unknown, not "none of ours".
bool ReadModelIdFromDriver(HANDLE hPrinter, int32_t* modelId) {
    *modelId = 0;
    DWORD needed = 0;
    GetPrinterDriverW(hPrinter, nullptr, 1, nullptr, 0, &needed);
    if (needed == 0) return false;
    auto* info = static_cast<DRIVER_INFO_1W*>(GlobalAlloc(GPTR, needed));
    if (!info) return false;
    bool read = GetPrinterDriverW(hPrinter, nullptr, 1, reinterpret_cast<LPBYTE>(info), needed, &needed) != FALSE;
    if (read && info->pName) {
        for (const PrinterModelInfo& model : gPrinterModelTable) {
            if (lstrcmpW(info->pName, model.driverName) == 0) {
                *modelId = model.modelId;
                break;
            }
        }
    }
    GlobalFree(info);
    return read;
}

}  // namespace

bool LoadPrinterSettings(HANDLE hPrinter, QVPrinterSettings* out) {
    QVPrinterSettings local;
    std::memset(&local, 0, sizeof local);
    DWORD type = 0;
    DWORD needed = 0;
    DWORD read = GetPrinterDataW(hPrinter, ValueName(), &type, reinterpret_cast<LPBYTE>(&local), sizeof local, &needed);
    int32_t modelId = 0;
    bool modelKnown = ReadModelIdFromDriver(hPrinter, &modelId);
    bool changed = false;
    if (read == ERROR_SUCCESS) {
        if (local.imageScale < 10) {
            local.imageScale = 100;
            changed = true;
        }
        // A driver that could not be read says nothing about the model: the stored one stays. A record
        // made under model 0 holds no model's values in the fields a row supplies, so a model that has
        // one gives them its defaults, as its new record would get.
        if (modelKnown && modelId != local.modelId) {
            if (local.modelId == 0) TakeModelDefaults(modelId, &local);
            local.modelId = modelId;
            changed = true;
        }
    } else {
        DefaultPrinterSettings(modelId, &local);
        // Only a value that is missing or too long to be the record is replaced. A missing one loses nothing,
        // so it is written even for a model nobody could tell (the next read that can tell it corrects it);
        // one too long only by the defaults of a known model. Any other failure (no memory, no spooler, no
        // access) says nothing about what is stored, so it stays and the caller works with the defaults
        // this time.
        changed = read == ERROR_FILE_NOT_FOUND || (modelKnown && read == ERROR_MORE_DATA);
    }
    // A handle without write access fails here; the caller still gets the record.
    if (changed) SetPrinterDataW(hPrinter, ValueName(), REG_BINARY, reinterpret_cast<LPBYTE>(&local), sizeof local);
    if (out) *out = local;
    return read == ERROR_SUCCESS || changed;
}

namespace {

struct FieldSpan {
    size_t offset;
    size_t size;
};
#define QV_FIELD(name) FieldSpan{offsetof(QVPrinterSettings, name), sizeof(QVPrinterSettings::name)}
// Whole fields: a value is never put together from the bytes of two.
constexpr FieldSpan kFields[] = {
    QV_FIELD(modelId),       QV_FIELD(paperWidth),    QV_FIELD(paperLength),    QV_FIELD(mediaType),
    QV_FIELD(resolution),    QV_FIELD(modelOption),   QV_FIELD(reserved24),     QV_FIELD(offsetX),
    QV_FIELD(offsetY),       QV_FIELD(speed),         QV_FIELD(density),        QV_FIELD(reserved44),
    QV_FIELD(reserved48),    QV_FIELD(reserved52),    QV_FIELD(reserved56),     QV_FIELD(rotation),
    QV_FIELD(mirror),        QV_FIELD(inverse),       QV_FIELD(autoDotted),     QV_FIELD(pauseKey),
    QV_FIELD(watermark),     QV_FIELD(cmdType),       QV_FIELD(fadeLines),      QV_FIELD(cutter),
    QV_FIELD(imageScale),    QV_FIELD(scrimpOnPaper), QV_FIELD(reserved99),     QV_FIELD(blackThreshold),
    QV_FIELD(reserved102),   QV_FIELD(gapCutType),    QV_FIELD(printMethod),    QV_FIELD(alignMode),
    QV_FIELD(paperCutMode),  QV_FIELD(reserved114),   QV_FIELD(headReserve),    QV_FIELD(tailReserve),
    QV_FIELD(paperLocationOffset), QV_FIELD(modelFlag), QV_FIELD(driverImageOffset),
};
#undef QV_FIELD

constexpr size_t FieldBytes() {
    size_t total = 0;
    for (const FieldSpan& field : kFields) total += field.size;
    return total;
}
static_assert(FieldBytes() == sizeof(QVPrinterSettings), "every byte of the record is in one field");

}  // namespace

void TakeChanges(const QVPrinterSettings& shown, const QVPrinterSettings& changed, QVPrinterSettings* record) {
    const auto* before = reinterpret_cast<const unsigned char*>(&shown);
    const auto* after = reinterpret_cast<const unsigned char*>(&changed);
    auto* into = reinterpret_cast<unsigned char*>(record);
    for (const FieldSpan& field : kFields) {
        if (std::memcmp(before + field.offset, after + field.offset, field.size) != 0) {
            std::memcpy(into + field.offset, after + field.offset, field.size);
        }
    }
}

bool StoreSheetRecord(SheetContext* sheet) {
    QVPrinterSettings* record = sheet->pSettings;
    TakePaperSize(sheet->pPublicDM, record);
    if (SetPrinterDataW(sheet->hPrinter, ValueName(), REG_BINARY, reinterpret_cast<LPBYTE>(record),
                        sizeof *record) != ERROR_SUCCESS) {
        return false;
    }
    if (sheet->pOemDevMode) {
        std::memcpy(&sheet->pOemDevMode->body, record, sizeof *record);
        TraceStub(&sheet->pOemDevMode->body);
    }
    if (sheet->records) sheet->records->Stored(sheet->pOemDevMode, *record);
    return true;
}

int32_t GetModelIdFromDriver(HANDLE hPrinter) {
    int32_t modelId = 0;
    ReadModelIdFromDriver(hPrinter, &modelId);
    return modelId;
}

HRESULT OemDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam, QVPrinterSettings* settings, bool* read) {
    return DevModeStep(dwMode, pOemDMParam, settings, true, read);
}

HRESULT OemDevModeNoPaper(DWORD dwMode, POEMDMPARAM pOemDMParam) {
    return DevModeStep(dwMode, pOemDMParam, nullptr, false, nullptr);
}

BOOL CopyOemDevMode(const QVOemDevMode* in, QVOemDevMode* out) {
    if (!in || !out) return FALSE;
    ConvertPart(in, out);
    return TRUE;
}

BOOL InitOemExtraHeader(QVOemDevMode* part) {
    if (!part) return FALSE;
    WriteHeader(part);
    return TRUE;
}
