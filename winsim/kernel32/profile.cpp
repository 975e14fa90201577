// Initialization files ("[section]" lines and "key=value" lines) on the simulated drives.
#include <sys/stat.h>

#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../core/text.h"

namespace {

// Windows looks for a file named without a full path in the Windows folder.
std::wstring FullPath(const std::wstring& name) {
    bool full = (name.size() >= 3 && name[1] == L':' && (name[2] == L'\\' || name[2] == L'/')) ||
                name.compare(0, 2, L"\\\\") == 0;
    return full ? name : L"C:\\Windows\\" + name;
}

bool SameName(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i]))) return false;
    }
    return true;
}

std::wstring Trim(const std::wstring& s) {
    size_t b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos) return std::wstring();
    size_t e = s.find_last_not_of(L" \t");
    return s.substr(b, e - b + 1);
}

struct Line {
    std::wstring text;
    bool isSection = false;
    bool isKey = false;
    std::wstring name;  // of the section or key
    std::wstring value;
};

Line Parse(const std::wstring& text) {
    Line line;
    line.text = text;
    std::wstring t = Trim(text);
    if (t.empty() || t[0] == L';') return line;
    if (t[0] == L'[') {
        size_t close = t.find(L']');
        line.isSection = true;
        line.name = Trim(t.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1));
        return line;
    }
    size_t eq = t.find(L'=');
    if (eq == std::wstring::npos) return line;
    line.isKey = true;
    line.name = Trim(t.substr(0, eq));
    line.value = Trim(t.substr(eq + 1));
    return line;
}

// The file's lines; false when it does not exist.
bool ReadLines(const std::string& hostPath, std::vector<Line>* lines) {
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) return false;
    std::stringstream ss;
    ss << in.rdbuf();
    std::string bytes = ss.str();
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes = bytes.substr(3);
    std::wstring text = winsim::FromUtf8(bytes);
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        std::wstring one = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
        if (!one.empty() && one.back() == L'\r') one.pop_back();
        lines->push_back(Parse(one));
        if (end == std::wstring::npos) break;
        start = end + 1;
    }
    return true;
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Index of the section's header line, or -1.
long FindSection(const std::vector<Line>& lines, const std::wstring& section) {
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].isSection && SameName(lines[i].name, section)) return static_cast<long>(i);
    }
    return -1;
}

// One past the last line that belongs to the section starting at header.
size_t SectionEnd(const std::vector<Line>& lines, size_t header) {
    size_t end = header + 1;
    while (end < lines.size() && !lines[end].isSection) ++end;
    return end;
}

DWORD CopyOut(const std::wstring& text, LPWSTR buffer, DWORD size) {
    DWORD n = text.size() < size ? static_cast<DWORD>(text.size()) : size - 1;
    text.copy(buffer, n);
    buffer[n] = 0;
    return n;
}

}  // namespace

// Simplified: files are UTF-8 text; a section and a key must be named (the lists of names that a null
// section or key asks for are not supported: 0 and ERROR_NOT_SUPPORTED).
extern "C" DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                                 LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName) {
    if (!lpReturnedString || nSize == 0 || !lpFileName) return 0;
    if (!lpAppName || !lpKeyName) {
        lpReturnedString[0] = 0;
        SetLastError(ERROR_NOT_SUPPORTED);
        return 0;
    }
    std::wstring fallback = lpDefault ? lpDefault : L"";
    fallback.erase(fallback.find_last_not_of(L' ') + 1);  // trailing blanks of the default are dropped
    std::vector<Line> lines;
    if (!ReadLines(winsim::HostPath(FullPath(lpFileName)), &lines)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return CopyOut(fallback, lpReturnedString, nSize);
    }
    long header = FindSection(lines, lpAppName);
    if (header >= 0) {
        for (size_t i = header + 1; i < SectionEnd(lines, header); ++i) {
            if (!lines[i].isKey || !SameName(lines[i].name, lpKeyName)) continue;
            std::wstring value = lines[i].value;
            if (value.size() >= 2 && (value[0] == L'"' || value[0] == L'\'') && value.back() == value[0]) {
                value = value.substr(1, value.size() - 2);
            }
            return CopyOut(value, lpReturnedString, nSize);
        }
    }
    return CopyOut(fallback, lpReturnedString, nSize);
}

// Simplified: the file's folder must exist, except the drive's root and its Windows folder, which are
// made on first use.
extern "C" BOOL WINAPI WritePrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpString,
                                                  LPCWSTR lpFileName) {
    if (!lpAppName || !lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::wstring full = FullPath(lpFileName);
    std::string host = winsim::HostPath(full);
    std::string folder = host.substr(0, host.find_last_of('/'));
    if (!FolderExists(folder)) {
        std::wstring winFolder = full.substr(0, full.find_last_of(L'\\'));
        bool made = winFolder.size() == 2 || SameName(winFolder.substr(1), L":\\Windows");
        if (made) {
            std::string root = winsim::HostPath(winFolder.substr(0, 2) + L"\\");
            ::mkdir(root.c_str(), 0755);
            ::mkdir(folder.c_str(), 0755);
        }
        if (!FolderExists(folder)) {
            SetLastError(ERROR_PATH_NOT_FOUND);
            return FALSE;
        }
    }
    std::vector<Line> lines;
    ReadLines(host, &lines);
    long header = FindSection(lines, lpAppName);
    if (!lpKeyName) {  // the whole section goes
        if (header >= 0) lines.erase(lines.begin() + header, lines.begin() + SectionEnd(lines, header));
    } else {
        if (header < 0 && lpString) {
            lines.push_back(Parse(L"[" + std::wstring(lpAppName) + L"]"));
            header = static_cast<long>(lines.size() - 1);
        }
        if (header >= 0) {
            size_t end = SectionEnd(lines, header);
            size_t found = end;
            for (size_t i = header + 1; i < end; ++i) {
                if (lines[i].isKey && SameName(lines[i].name, lpKeyName)) {
                    found = i;
                    break;
                }
            }
            if (!lpString) {
                if (found < end) lines.erase(lines.begin() + found);
            } else if (found < end) {
                lines[found] = Parse(lines[found].name + L"=" + lpString);
            } else {
                // After the section's last key, so blank lines that separate sections stay where they are.
                size_t at = end;
                while (at > static_cast<size_t>(header) + 1 && Trim(lines[at - 1].text).empty()) --at;
                lines.insert(lines.begin() + at, Parse(std::wstring(lpKeyName) + L"=" + lpString));
            }
        }
    }
    std::wstring text;
    for (const Line& l : lines) text += l.text + L"\r\n";
    std::string temp = host + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << winsim::ToUtf8(text);
        if (!out) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
    }
    if (std::rename(temp.c_str(), host.c_str()) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return TRUE;
}
