// The simulated functions whose calls the machine's faults can make fail.
#pragma once
#include <string>
#include <vector>

namespace winsim {

// Every function that asks TakeFault under its own name, and no other: a fault of another name would
// wait for a call that never looks for it. winsim-ctl and the test controls take only these.
const std::vector<std::string>& FaultableFunctions();
bool Faultable(const std::string& function);
// Why a fault of function cannot be taken, naming those that can; empty when it can.
std::string NotFaultable(const std::string& function);

}  // namespace winsim
