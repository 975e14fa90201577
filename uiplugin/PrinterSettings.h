// The printer settings record, its two homes (the printer's data and the private DEVMODE part) and the
// DEVMODE operation of the plug-in. The rendering part reads these bytes, so the layout is fixed to the
// byte: fixed-width fields only, every offset asserted.
#pragma once
#include <windows.h>
#include <winspool.h>
#include <prcomoem.h>

#include <cstddef>
#include <cstdint>

enum MediaType : int32_t { kMediaContinuous = 0, kMediaGapLabels = 1, kMediaMarkLabels = 2 };
enum CmdType : int32_t { kCmdTspl = 0, kCmdEscPos = 1 };

struct QVPrinterSettings {
    int32_t modelId;
    float paperWidth;   // millimetres
    float paperLength;  // millimetres
    int32_t mediaType;  // MediaType
    int32_t resolution;
    int32_t modelOption;
    int32_t reserved24;
    float offsetX;  // millimetres
    float offsetY;  // millimetres
    int32_t speed;
    int32_t density;
    int32_t reserved44;
    int32_t reserved48;
    int32_t reserved52;
    int32_t reserved56;
    int32_t rotation;  // quarter turns
    int32_t mirror;
    int32_t inverse;
    int32_t autoDotted;
    int32_t pauseKey;
    int32_t watermark;
    int32_t cmdType;  // CmdType
    int32_t fadeLines;
    int32_t cutter;
    int16_t imageScale;  // percent
    int8_t scrimpOnPaper;
    uint8_t reserved99;
    int16_t blackThreshold;
    int16_t reserved102;
    int32_t gapCutType;
    int32_t printMethod;
    int8_t alignMode;
    int8_t paperCutMode;
    int16_t reserved114;
    float headReserve;  // millimetres
    float tailReserve;  // millimetres
    uint16_t paperLocationOffset;  // millimetres
    uint8_t modelFlag;
    int8_t driverImageOffset;
};

static_assert(sizeof(float) == 4, "float32 fields");
static_assert(sizeof(QVPrinterSettings) == 128, "QVPrinterSettings is 128 bytes");
static_assert(offsetof(QVPrinterSettings, modelId) == 0, "layout");
static_assert(offsetof(QVPrinterSettings, paperWidth) == 4, "layout");
static_assert(offsetof(QVPrinterSettings, paperLength) == 8, "layout");
static_assert(offsetof(QVPrinterSettings, mediaType) == 12, "layout");
static_assert(offsetof(QVPrinterSettings, resolution) == 16, "layout");
static_assert(offsetof(QVPrinterSettings, modelOption) == 20, "layout");
static_assert(offsetof(QVPrinterSettings, reserved24) == 24, "layout");
static_assert(offsetof(QVPrinterSettings, offsetX) == 28, "layout");
static_assert(offsetof(QVPrinterSettings, offsetY) == 32, "layout");
static_assert(offsetof(QVPrinterSettings, speed) == 36, "layout");
static_assert(offsetof(QVPrinterSettings, density) == 40, "layout");
static_assert(offsetof(QVPrinterSettings, reserved44) == 44, "layout");
static_assert(offsetof(QVPrinterSettings, reserved48) == 48, "layout");
static_assert(offsetof(QVPrinterSettings, reserved52) == 52, "layout");
static_assert(offsetof(QVPrinterSettings, reserved56) == 56, "layout");
static_assert(offsetof(QVPrinterSettings, rotation) == 60, "layout");
static_assert(offsetof(QVPrinterSettings, mirror) == 64, "layout");
static_assert(offsetof(QVPrinterSettings, inverse) == 68, "layout");
static_assert(offsetof(QVPrinterSettings, autoDotted) == 72, "layout");
static_assert(offsetof(QVPrinterSettings, pauseKey) == 76, "layout");
static_assert(offsetof(QVPrinterSettings, watermark) == 80, "layout");
static_assert(offsetof(QVPrinterSettings, cmdType) == 84, "layout");
static_assert(offsetof(QVPrinterSettings, fadeLines) == 88, "layout");
static_assert(offsetof(QVPrinterSettings, cutter) == 92, "layout");
static_assert(offsetof(QVPrinterSettings, imageScale) == 96, "layout");
static_assert(offsetof(QVPrinterSettings, scrimpOnPaper) == 98, "layout");
static_assert(offsetof(QVPrinterSettings, reserved99) == 99, "layout");
static_assert(offsetof(QVPrinterSettings, blackThreshold) == 100, "layout");
static_assert(offsetof(QVPrinterSettings, reserved102) == 102, "layout");
static_assert(offsetof(QVPrinterSettings, gapCutType) == 104, "layout");
static_assert(offsetof(QVPrinterSettings, printMethod) == 108, "layout");
static_assert(offsetof(QVPrinterSettings, alignMode) == 112, "layout");
static_assert(offsetof(QVPrinterSettings, paperCutMode) == 113, "layout");
static_assert(offsetof(QVPrinterSettings, reserved114) == 114, "layout");
static_assert(offsetof(QVPrinterSettings, headReserve) == 116, "layout");
static_assert(offsetof(QVPrinterSettings, tailReserve) == 120, "layout");
static_assert(offsetof(QVPrinterSettings, paperLocationOffset) == 124, "layout");
static_assert(offsetof(QVPrinterSettings, modelFlag) == 126, "layout");
static_assert(offsetof(QVPrinterSettings, driverImageOffset) == 127, "layout");

// The plug-in's private DEVMODE part.
struct QVOemDevMode {
    OEM_DMEXTRAHEADER dmOEMExtra;
    QVPrinterSettings body;
};
static_assert(sizeof(QVOemDevMode) == 140, "QVOemDevMode is 140 bytes");
static_assert(offsetof(QVOemDevMode, dmOEMExtra) + offsetof(OEM_DMEXTRAHEADER, dwSize) == 0, "layout");
static_assert(offsetof(QVOemDevMode, dmOEMExtra) + offsetof(OEM_DMEXTRAHEADER, dwSignature) == 4, "layout");
static_assert(offsetof(QVOemDevMode, dmOEMExtra) + offsetof(OEM_DMEXTRAHEADER, dwVersion) == 8, "layout");
static_assert(offsetof(QVOemDevMode, body) == 12, "layout");

// Also what GetInfo reports, so the core can tell our part from other plug-ins'.
constexpr DWORD kOemSignature = 0x4E51;
constexpr DWORD kOemVersion = 3;
// The printer-data value; the installer deletes it with the printer.
constexpr const wchar_t kPrinterSettingsValue[] = L"OEM_ZL_PRINTER_VALUE";

// The record a new printer of that model gets.
void DefaultPrinterSettings(int32_t modelId, QVPrinterSettings* record);
// Reads the printer's stored record, or creates it (none stored, or one too long to be it) or repairs it
// and writes it back; out gets a record always, the defaults when the read failed otherwise. False in
// that last case: out is then not what the printer holds.
bool LoadPrinterSettings(HANDLE hPrinter, QVPrinterSettings* out);
// Model id of the printer's driver in the model table, 0 when it is not one of ours.
int32_t GetModelIdFromDriver(HANDLE hPrinter);

// Puts into record every field in which changed differs from shown: what a page changed since it showed
// a record, laid over another one.
void TakeChanges(const QVPrinterSettings& shown, const QVPrinterSettings& changed, QVPrinterSettings* record);

struct SheetContext;
// Stores a sheet's record, with the paper size its public DEVMODE holds now, as the printer's data and,
// once that is written, as its private part's body; the object then knows it as the printer's record, so
// that a sheet opened before the next MERGE shows it. False when the printer's data was not written.
bool StoreSheetRecord(SheetContext* sheet);

// IPrintOemCommon::DevMode: settings is the plug-in object's record buffer, filled by OEMDM_MERGE.
// read, when given, tells after a MERGE whether the record it filled in was the printer's (or the
// defaults made because it had none).
HRESULT OemDevMode(DWORD dwMode, POEMDMPARAM pOemDMParam, QVPrinterSettings* settings, bool* read = nullptr);
// The same, but its MERGE stores the printer's record in the output part as it is, without the
// paper size of the public DEVMODE.
HRESULT OemDevModeNoPaper(DWORD dwMode, POEMDMPARAM pOemDMParam);
// OEMDM_CONVERT of one part into another; FALSE when either is null.
BOOL CopyOemDevMode(const QVOemDevMode* in, QVOemDevMode* out);
BOOL InitOemExtraHeader(QVOemDevMode* part);
