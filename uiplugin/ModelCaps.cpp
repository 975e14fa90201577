#include "ModelCaps.h"

namespace {

constexpr ModelCaps Row(int32_t modelId) {
    return ModelCaps{modelId, 0, 2, 1, 1, 8, 5, 1, 15, 8, 0, 5, 3, 0, 8, 0, 0, 5, 216, 1, 256};
}

// Comparing as unsigned also sends negative values to the default.
int32_t Clamp(int32_t value, int32_t low, int32_t high, int32_t fallback) {
    auto v = static_cast<uint32_t>(value);
    return v >= static_cast<uint32_t>(low) && v <= static_cast<uint32_t>(high) ? value : fallback;
}

}  // namespace

const ModelCaps ModelCapsTable[kModelCapsCount] = {Row(44), Row(46), Row(45), Row(47)};

const ModelCaps* FindModelCaps(int32_t modelId) {
    for (const ModelCaps& caps : ModelCapsTable) {
        if (caps.modelId == modelId) return &caps;
    }
    return nullptr;
}

int32_t ClampDensity(int32_t modelId, int32_t value) {
    const ModelCaps* caps = FindModelCaps(modelId);
    return caps ? Clamp(value, caps->densityMin, caps->densityMax, caps->densityDefault) : 0;
}

int32_t ClampSpeed(int32_t modelId, int32_t value) {
    const ModelCaps* caps = FindModelCaps(modelId);
    return caps ? Clamp(value, caps->speedMin, caps->speedMax, caps->speedDefault) : 0;
}

const PrinterModelInfo* GetModelByDriverName(LPCWSTR driverName) {
    if (!driverName) return nullptr;
    for (const PrinterModelInfo& model : gPrinterModelTable) {
        if (lstrcmpW(model.driverName, driverName) == 0) return &model;
    }
    return nullptr;
}

const PrinterModelInfo* GetModelById(int32_t modelId) {
    for (const PrinterModelInfo& model : gPrinterModelTable) {
        if (model.modelId == modelId) return &model;
    }
    return nullptr;
}
