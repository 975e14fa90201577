// The install report of the Windows build, in place of installer/InstallReporter.cpp: cpprestsdk has
// no mingw-w64 package, so this build has no HTTP client and every report fails, the way one fails
// that cannot reach the server: logged, never the installer's failure.
#include "Installer.h"

#include <Logger.h>

CInstallReporter& CInstallReporter::GetInstance() {
    static CInstallReporter instance;
    return instance;
}

CInstallReporter::~CInstallReporter() {}

bool CInstallReporter::sendInstallInfo(std::wstring, std::wstring, std::wstring) {
    LOG_ERR(L"sendInstallInfo:exception no HTTP client in this build");
    return false;
}
