// Install statistics report.
#include "Installer.h"

CInstallReporter& CInstallReporter::GetInstance() {
    static CInstallReporter instance;
    return instance;
}

CInstallReporter::~CInstallReporter() {}

// Not built yet: the POST to the statistics endpoint. Until then every report fails without a request.
bool CInstallReporter::sendInstallInfo(std::wstring, std::wstring, std::wstring) { return false; }
