// Per-call cost of simulated calls on the default machine and on a machine of about 1 MB, and of the
// plug-in's MERGE as the print system calls it for every job. Run with tools/bench.
#include <windows.h>
#include <winspool.h>
#include <prcomoem.h>

#include <benchmark/benchmark.h>

#include <control.h>
#include <plugin_host.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using winsim::control::Json;

DEFINE_GUID(CLSID_OEMUI, 0xABCE80D7, 0x9F46, 0x11D1, 0x88, 0x2A, 0x00, 0xC0, 0x4F, 0xB9, 0x61, 0xEC);

constexpr const char kPrinter[] = "Brisora-40";
constexpr wchar_t kPrinterW[] = L"Brisora-40";

std::string gDir;

// Machines the benchmarks run on (the benchmark's argument).
enum Kind { kDefault = 0, kLarge = 1, kLargePrinters = 2 };
const char* KindName(int kind) {
    switch (kind) {
        case kLarge: return "1MB";
        case kLargePrinters: return "1MB-printers-only";
        default: return "default";
    }
}

// A printer with the printer data a driver leaves on it (a 64-byte value), or none.
Json Printer(const std::string& name, const std::string& driver, bool withData) {
    Json p = Json::object();
    p["name"] = Json::string(name);
    p["driver"] = Json::string(driver);
    p["port"] = Json::string("USB001");
    p["data"] = Json::object();
    if (withData) {
        Json value = Json::object();
        value["type"] = Json::number(REG_BINARY);
        value["data"] = Json::string(std::string(128, 'a'));
        p["data"]["Settings"] = value;
    }
    return p;
}

Json Form(const std::string& name) {
    Json f = Json::object();
    f["name"] = Json::string(name);
    f["width"] = Json::number(100000);
    f["height"] = Json::number(150000);
    f["builtin"] = Json::boolean(false);
    return f;
}

// A fresh machine of that kind with the plug-in's printer; the default machine plus 3,600 extra forms
// and 3,600 extra printers with a little printer data each is about 1 MB (or as much in printers only).
void UseMachine(int kind) {
    winsim::control::UseFreshMachine(gDir + "/machine.json");
    winsim::control::Change([&](Json& machine) {
        Json& spooler = machine["spooler"];
        Json& printers = spooler["printers"];
        Json& forms = spooler["forms"];
        int extraPrinters = kind == kDefault ? 0 : (kind == kLarge ? 3600 : 4700);
        for (int i = 0; i < extraPrinters; ++i) {
            printers[printers.size()] = Printer("Office printer " + std::to_string(i), "Generic Text Only", true);
        }
        if (kind == kLarge) {
            for (int i = 0; i < 3600; ++i) forms[forms.size()] = Form("Label form " + std::to_string(i));
        }
        // Installed last, so finding it by name passes every other printer.
        printers[printers.size()] = Printer(kPrinter, "Brisora-40", false);
    });
}

HANDLE OpenOurPrinter() {
    PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE h = nullptr;
    OpenPrinterW(const_cast<LPWSTR>(kPrinterW), &h, &defaults);
    return h;
}

void Label(benchmark::State& state) {
    state.SetLabel(std::string(KindName(static_cast<int>(state.range(0)))) + ", " +
                   std::to_string(winsim::control::Read().serialize().size() / 1024) + " KB");
}

void BM_GetTickCount(benchmark::State& state) {
    UseMachine(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(GetTickCount());
    Label(state);
}

void BM_EnumFormsW_SizeQuery(benchmark::State& state) {
    UseMachine(static_cast<int>(state.range(0)));
    HANDLE printer = OpenOurPrinter();
    DWORD needed = 0, returned = 0;
    for (auto _ : state) {
        BOOL ok = EnumFormsW(printer, 1, nullptr, 0, &needed, &returned);
        if (ok || GetLastError() != ERROR_INSUFFICIENT_BUFFER) state.SkipWithError("size query failed");
    }
    ClosePrinter(printer);
    Label(state);
}

void BM_GetPrinterDataW(benchmark::State& state) {
    UseMachine(static_cast<int>(state.range(0)));
    HANDLE printer = OpenOurPrinter();
    BYTE value[128] = {1, 2, 3};
    SetPrinterDataW(printer, const_cast<LPWSTR>(L"BenchValue"), REG_BINARY, value, sizeof value);
    DWORD type = 0, needed = 0;
    for (auto _ : state) {
        if (GetPrinterDataW(printer, const_cast<LPWSTR>(L"BenchValue"), &type, value, sizeof value, &needed) !=
            ERROR_SUCCESS) {
            state.SkipWithError("GetPrinterDataW failed");
        }
    }
    ClosePrinter(printer);
    Label(state);
}

// Each added form is deleted again outside the measured time, so the machine keeps its size.
void BM_AddFormW(benchmark::State& state) {
    UseMachine(static_cast<int>(state.range(0)));
    HANDLE printer = OpenOurPrinter();
    FORM_INFO_1W form{};
    form.pName = const_cast<LPWSTR>(L"Bench form");
    form.Size = {50000, 30000};
    form.ImageableArea = {0, 0, 50000, 30000};
    for (auto _ : state) {
        if (!AddFormW(printer, 1, reinterpret_cast<LPBYTE>(&form))) state.SkipWithError("AddFormW failed");
        state.PauseTiming();
        DeleteFormW(printer, form.pName);
        state.ResumeTiming();
    }
    ClosePrinter(printer);
    Label(state);
}

std::wstring VelumorPath() {
    std::wstring path = L"Z:";
    for (char c : std::string(ZL_PACKAGE_DIR) + "/Velumor.dll") {
        path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    }
    return path;
}

// OEMDM_MERGE of the job's DEVMODE into a new one, as the print system does for every job.
void BM_PluginMerge(benchmark::State& state) {
    UseMachine(static_cast<int>(state.range(0)));
    HANDLE printer = OpenOurPrinter();
    {
        winsim::control::PluginHost host(VelumorPath());
        IPrintOemUI2* plugin = nullptr;
        if (!host.Loaded() || host.CreatePlugin(CLSID_OEMUI, &plugin) != S_OK) {
            state.SkipWithError("the plug-in cannot be loaded");
            for (auto _ : state) {
            }
            return;
        }
        std::unique_ptr<winsim::control::DevModeBuffer> job;
        if (host.NewDevMode(plugin, printer, 1000, 500, &job) != S_OK) state.SkipWithError("no job DEVMODE");
        winsim::control::DevModeBuffer out(job ? job->OemSize() : 140);
        for (auto _ : state) {
            std::memcpy(out.Public(), job->Public(), sizeof(DEVMODEW));
            if (host.DevMode(plugin, OEMDM_MERGE, printer, job.get(), &out) != S_OK) state.SkipWithError("MERGE failed");
        }
        plugin->Release();
    }
    ClosePrinter(printer);
    Label(state);
}

BENCHMARK(BM_GetTickCount)->Arg(kDefault)->Arg(kLarge)->Arg(kLargePrinters);
BENCHMARK(BM_EnumFormsW_SizeQuery)->Arg(kDefault)->Arg(kLarge)->Arg(kLargePrinters);
BENCHMARK(BM_GetPrinterDataW)->Arg(kDefault)->Arg(kLarge)->Arg(kLargePrinters);
BENCHMARK(BM_AddFormW)->Arg(kDefault)->Arg(kLarge)->Arg(kLargePrinters);
BENCHMARK(BM_PluginMerge)->Arg(kDefault)->Arg(kLarge);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Made once the arguments are taken (--help ends the program), removed at the end.
    char tmpl[] = "/tmp/winsim-bench-XXXXXX";
    if (!::mkdtemp(tmpl)) return 1;
    gDir = tmpl;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::system(("rm -rf '" + gDir + "'").c_str());
    return 0;
}
