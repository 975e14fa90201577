// The Microsoft C runtime's printf formatting, for the functions that write into a caller's buffer.
#pragma once
#include <cstdarg>
#include <cstddef>
#include <string>

namespace winsim {

template <class C>
struct Formatted {
    std::basic_string<C> text;  // the first characters of the whole, at most the limit asked for
    size_t length = 0;          // of the whole, which is never made: it stops at SIZE_MAX
    bool failed = false;        // a string argument had a character the other width cannot hold
};

// Formats as Microsoft's runtime does (%s of a wide function is wide, %S narrow; %ld is 32 bits), keeping
// no more than limit characters, so the work follows the format and what is kept, not widths or
// precisions asked for. A format the runtime refuses (an unknown or unfinished conversion, %n, which it
// disables) calls the invalid-parameter handler in function's name.
Formatted<wchar_t> FormatWide(const char* function, size_t limit, const wchar_t* format, va_list args);
Formatted<char> FormatNarrow(const char* function, size_t limit, const char* format, va_list args);

}  // namespace winsim
