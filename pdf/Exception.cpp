#include "pdf/Exception.h"

#include <cstdarg>
#include <cstdio>

CPdfException CPdfDamaged()
{
    return CPdfException("PDF file was damaged", kDamagedStatus);
}

CPdfException CPdfEncrypted()
{
    return CPdfException("PDF file is encrypted", kEncryptedStatus);
}

std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        text.resize(static_cast<size_t>(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(needed));
    }
    va_end(args);
    return text;
}
