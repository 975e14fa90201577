#include <windows.h>

#include <cerrno>

// Simplified: the "C" locale's conversion maps each byte to the character of the same value.
extern "C" errno_t mbstowcs_s(size_t* pReturnValue, wchar_t* wcstr, size_t sizeInWords, const char* mbstr,
                              size_t count) {
    if (pReturnValue) *pReturnValue = 0;
    if (!mbstr || (!wcstr && sizeInWords > 0) || (wcstr && sizeInWords == 0)) {
        if (wcstr && sizeInWords > 0) wcstr[0] = 0;
        return EINVAL;
    }
    size_t length = 0;
    while ((count == _TRUNCATE || length < count) && mbstr[length]) ++length;
    if (!wcstr) {  // size query
        if (pReturnValue) *pReturnValue = length + 1;
        return 0;
    }
    errno_t result = 0;
    if (length + 1 > sizeInWords) {
        if (count != _TRUNCATE) {
            wcstr[0] = 0;
            return ERANGE;
        }
        length = sizeInWords - 1;
        result = STRUNCATE;
    }
    for (size_t i = 0; i < length; ++i) wcstr[i] = static_cast<wchar_t>(static_cast<unsigned char>(mbstr[i]));
    wcstr[length] = 0;
    if (pReturnValue) *pReturnValue = length + 1;
    return result;
}
