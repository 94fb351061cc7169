#include "pdf/Exception.h"

#include <cstdarg>
#include <cstdio>

int32_t g_exitCode = 0;

CPdfException CPdfDamaged()
{
    g_exitCode = kDamagedStatus;
    return CPdfException("PDF file was damaged");
}

CPdfException CPdfEncrypted()
{
    g_exitCode = kEncryptedStatus;
    return CPdfException("PDF file is encrypted");
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
