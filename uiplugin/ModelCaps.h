// Per-model capabilities: the defaults a new settings record takes and the ranges the settings page
// offers. Keyed by the model table's modelId.
#pragma once
#include <windows.h>

#include <cstdint>

#include "PrinterModel.h"

struct ModelCaps {
    int32_t modelId;
    int32_t extra1;
    int32_t extra2;
    int32_t cmdTypeDefault;
    int32_t speedMin;
    int32_t speedMax;
    int32_t speedDefault;
    int32_t densityMin;
    int32_t densityMax;
    int32_t densityDefault;
    int32_t extra10;
    int32_t extra11;
    int32_t modelOptionDefault;
    int32_t fadeLinesMin;
    int32_t fadeLinesMax;
    int32_t fadeLinesDefault;
    int32_t scrimpOnPaperDefault;  // low byte used
    int32_t extra17;
    int32_t extra18;
    int32_t extra19;
    int32_t flagDefaults;  // byte 0: modelFlag, byte 1: driverImageOffset
};
static_assert(sizeof(ModelCaps) == 21 * 4, "21 int32 columns");

constexpr int kModelCapsCount = 4;
extern const ModelCaps ModelCapsTable[kModelCapsCount];

// First row with that model id, or null.
const ModelCaps* FindModelCaps(int32_t modelId);
// The value when the model's range holds it, else the model's default; 0 for a model without a row.
int32_t ClampDensity(int32_t modelId, int32_t value);
int32_t ClampSpeed(int32_t modelId, int32_t value);

const PrinterModelInfo* GetModelByDriverName(LPCWSTR driverName);
const PrinterModelInfo* GetModelById(int32_t modelId);
