#include "control.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "../core/faults.h"
#include "../core/machine.h"
#include "../core/process.h"
#include "../winspool/spooler.h"

namespace winsim {
namespace control {

void UseFreshMachine(const std::string& path) {
    ::setenv("WINSIM_MACHINE", path.c_str(), 1);
    Machine::Use(path);
    Machine::Instance().Replace(DefaultMachine());
}

std::string MachinePath() { return Machine::Instance().Path(); }

Json Read() { return *Machine::Instance().Snapshot(); }

void Change(const std::function<void(Json&)>& change) { Machine::Instance().Modify(change); }

void ScriptAnswers(std::initializer_list<int> answers) {
    Change([&](Json& machine) {
        Json& list = ChildArray(ChildObject(machine, "ui"), "answers");
        for (int a : answers) list[list.size()] = Json::number(a);
    });
}

std::vector<HANDLE> OpenPrinterHandles(const std::string& printer, DWORD access) {
    std::vector<HANDLE> open;
    ForEachHandle([&](HANDLE handle, Object* object) {
        auto* p = dynamic_cast<spooler::PrinterHandle*>(object);
        if (p && p->name == printer && p->access == access) open.push_back(handle);
    });
    return open;
}

void InjectFault(const std::string& function, uint32_t error, int64_t count, int64_t after) {
    if (std::string problem = NotFaultable(function); !problem.empty()) throw std::invalid_argument(problem);
    Change([&](Json& machine) {
        Json& faults = ChildArray(machine, "faults");
        Json f = Json::object();
        f["function"] = Json::string(function);
        f["error"] = Json::number(static_cast<int64_t>(error));
        f["count"] = Json::number(count);
        f["after"] = Json::number(after);
        faults[faults.size()] = f;
    });
}

bool ExitCodeOf(long pid, int32_t* exitCode) { return TakeExitRecord(pid, exitCode); }

std::string AskingParentVariable() { return winsim::AskingParentVariable(); }

}  // namespace control
}  // namespace winsim
