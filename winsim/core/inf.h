// What the simulated installers read from a driver package's INF: the models it declares.
#pragma once
#include <string>
#include <vector>

namespace winsim {

struct InfModel {
    std::string driverName;
    std::vector<std::string> hardwareIds;
};

// False when the file cannot be read.
bool ReadInfModels(const std::string& hostPath, std::vector<InfModel>* models);
// The driver the INF declares for a hardware id (compared without case), or empty.
std::string InfDriverFor(const std::vector<InfModel>& models, const std::string& hardwareId);

}  // namespace winsim
