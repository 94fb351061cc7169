// The program's one exception type: a finished message, printed as it stands by the command line.
#pragma once

#include <cstdint>
#include <string>

class CPdfException {
public:
    explicit CPdfException(std::string text) : m_text(std::move(text)) {}
    virtual ~CPdfException() = default;
    virtual const char* what() const noexcept { return m_text.c_str(); }

private:
    std::string m_text;
};

// printf-style formatting into a std::string, so long paths never overflow a message buffer.
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The process exit status; 0 unless a failure sets it (-4 damaged, -3 encrypted, -2 other).
extern int32_t g_exitCode;

constexpr int32_t kDamagedStatus = -4;
constexpr int32_t kEncryptedStatus = -3;

// "PDF file was damaged", with the exit status set to -4.
CPdfException CPdfDamaged();
// "PDF file is encrypted", with the exit status set to -3.
CPdfException CPdfEncrypted();
