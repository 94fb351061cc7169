// The program's one exception type: a finished message, printed as it stands by the command line,
// and the exit status a run that it ends returns.
#pragma once

#include <cstdint>
#include <string>

constexpr int32_t kDamagedStatus = -4;
constexpr int32_t kEncryptedStatus = -3;
constexpr int32_t kFailureStatus = -2; // any other failure

class CPdfException {
public:
    explicit CPdfException(std::string text, int32_t status = kFailureStatus)
        : m_text(std::move(text)), m_status(status)
    {
    }
    virtual ~CPdfException() = default;
    virtual const char* what() const noexcept { return m_text.c_str(); }
    int32_t status() const noexcept { return m_status; }

private:
    std::string m_text;
    int32_t m_status;
};

// printf-style formatting into a std::string, so long paths never overflow a message buffer.
std::string FormatText(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// "PDF file was damaged", carrying the status -4.
CPdfException CPdfDamaged();
// "PDF file is encrypted", carrying the status -3.
CPdfException CPdfEncrypted();
