// Install statistics report. The only file that includes cpprestsdk's HTTP client (slow to compile, and
// the part a build without cpprestsdk replaces).
#include "Installer.h"

#include <Logger.h>

#include <cpprest/http_client.h>
#include <cpprest/json.h>

#ifndef _WIN32
#include <winsim_host.h>
#endif

#include <exception>
#include <string>
#include <utility>

namespace {

// wchar_t is UTF-16 on Windows and UTF-32 here, string_t UTF-16 there and UTF-8 here: UTF-8 is the
// one form both can be built from.
std::string ToUtf8(const std::wstring& text) {
    std::string utf8;
    if (text.empty()) return utf8;
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    if (size <= 0) return utf8;
    utf8.resize(static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
    return utf8;
}

std::wstring FromUtf8(const std::string& text) {
    std::wstring wide;
    if (text.empty()) return wide;
    int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (size <= 0) return wide;
    wide.resize(static_cast<size_t>(size));
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

utility::string_t ToStringT(const std::wstring& text) { return utility::conversions::to_string_t(ToUtf8(text)); }

web::http::client::http_client_config ClientConfig() {
    web::http::client::http_client_config config;
#ifndef _WIN32
    // On Windows the default configuration follows the machine's WinHTTP proxy; cpprestsdk here
    // ignores every proxy setting unless it is handed one.
    std::string proxy = WinsimWinHttpProxy();
    if (!proxy.empty()) config.set_proxy(web::web_proxy(utility::conversions::to_string_t(proxy)));
#endif
    return config;
}

}  // namespace

CInstallReporter& CInstallReporter::GetInstance() {
    static CInstallReporter instance;
    return instance;
}

CInstallReporter::~CInstallReporter() {}

bool CInstallReporter::sendInstallInfo(std::wstring model, std::wstring onlyCode, std::wstring code) {
    using web::json::value;
    try {
        web::http::client::http_client client(
            utility::conversions::to_string_t(std::string("http://") + CORVANE_STATS_HOST + "/open/api/"),
            ClientConfig());

        web::uri_builder path(_XPLATSTR("/"));
        path.append_path(_XPLATSTR("driverStatistical"), false);

        // The object keeps its members sorted by key, so this order never reaches the wire.
        value info = value::object();
        info[_XPLATSTR("id")] = value::number(1);
        info[_XPLATSTR("sc")] = value::string(_XPLATSTR(""));
        info[_XPLATSTR("ip")] = value::string(_XPLATSTR(""));
        info[_XPLATSTR("created")] = value::string(_XPLATSTR(""));
        info[_XPLATSTR("model")] = value::string(ToStringT(model));
        info[_XPLATSTR("userId")] = value::number(1);
        info[_XPLATSTR("userNick")] = value::string(_XPLATSTR(""));
        info[_XPLATSTR("functionId")] = value::string(_XPLATSTR(""));
        info[_XPLATSTR("point")] = value::string(_XPLATSTR(""));
        info[_XPLATSTR("app")] = value::string(_XPLATSTR("qvdrv"));
        info[_XPLATSTR("appType")] = value::string(_XPLATSTR("client"));
        info[_XPLATSTR("inland")] = value::boolean(true);
        info[_XPLATSTR("code")] = value::string(ToStringT(code));
        info[_XPLATSTR("onlyCode")] = value::string(ToStringT(onlyCode));

        web::http::http_request request(web::http::methods::POST);
        request.set_request_uri(path.to_uri());
        // The UTF-8 overload on both platforms, so the header is this exact text everywhere.
        request.set_body(utility::conversions::to_utf8string(info.serialize()), "application/json; charset=utf-8");

        web::http::status_code status = client.request(request).get().status_code();
        if (status == web::http::status_codes::OK) return true;
        LOG_ERR(L"sendInstallInfo:fail code={0:d}", static_cast<int>(status));
        return false;
    } catch (const std::exception& e) {
        // No network, refused or timed out: a report that did not arrive, never the installer's failure.
        LOG_ERR(L"sendInstallInfo:exception {0}", FromUtf8(e.what()));
        return false;
    }
}
