#pragma once

#include <string>

// The program's UTF-16 text as the W functions take it (wchar_t is 16 bits on Windows).
inline const wchar_t* Wide(const std::u16string& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
