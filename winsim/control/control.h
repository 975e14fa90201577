// Test controls of the simulated machine. System code never includes this.
#pragma once
#include <cpprest/json.h>

#include <windef.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace winsim {
namespace control {

using Json = web::json::value;

// Writes the default machine to path (replacing what is there, usable or not) and makes it this process's
// machine; WINSIM_MACHINE is set too, so child processes run on it.
void UseFreshMachine(const std::string& path);
std::string MachinePath();
Json Read();
void Change(const std::function<void(Json&)>& change);
// Appends scripted message-box answers (IDOK, IDCANCEL, ...).
void ScriptAnswers(std::initializer_list<int> answers);
// Makes the next calls of a function fail: after `after` successes, `count` times (-1: for ever). A
// function whose calls never look for faults is refused (std::invalid_argument), nothing written.
void InjectFault(const std::string& function, uint32_t error, int64_t count = 1, int64_t after = 0);
// This process's printer handles that are open on the printer and were opened with exactly that access.
std::vector<HANDLE> OpenPrinterHandles(const std::string& printer, DWORD access);
// The full exit code a child of this process recorded when it ended; asked once, as the record then goes.
// A child records it only when started with AskingParentVariable() in its environment (CreateProcessA
// puts it there by itself).
bool ExitCodeOf(long pid, int32_t* exitCode);
std::string AskingParentVariable();

}  // namespace control
}  // namespace winsim
