#include "cli/Diagnostics.h"

#include <cstdio>
#include <cstring>

#include "platform/Safety.h"

namespace {

uint32_t g_diagnosticLine = 0;

constexpr const char* kErrorNumberMark = ", err no: ";

// What failed, in the words of the failure up to its first quoted name.
std::string LeadingWords(const std::string& message)
{
    size_t end = message.find(": '");
    if (end == std::string::npos)
        end = message.find(kErrorNumberMark);
    std::string words = message.substr(0, end);
    if (words == "File output error")
        return "cannot write";
    if (words == "Can't open file")
        return "cannot open";
    return words;
}

} // namespace

CListLineContext::CListLineContext(uint32_t line) : m_saved(g_diagnosticLine)
{
    g_diagnosticLine = line;
}

CListLineContext::~CListLineContext()
{
    g_diagnosticLine = m_saved;
}

void Diagnose(const std::string& file, const std::string& what)
{
    std::string line = "foliobind: ";
    if (g_diagnosticLine != 0)
        line += "list line " + std::to_string(g_diagnosticLine) + ": ";
    line += "'" + file + "': " + what + "\n";
    std::fflush(stdout); // in a log of both streams, the line follows what was printed before it
    std::fputs(line.c_str(), stderr);
}

void DiagnoseError(const std::string& file, const std::string& what, int error)
{
    Diagnose(file, what + ": " + PlatformErrorText(error));
}

void DiagnoseFailure(const std::string& file, const std::string& message)
{
    const size_t mark = message.rfind(kErrorNumberMark);
    if (mark == std::string::npos) {
        Diagnose(file, message);
        return;
    }
    int error = 0;
    const char* digits = message.c_str() + mark + std::strlen(kErrorNumberMark);
    for (; *digits >= '0' && *digits <= '9' && error < 100000; ++digits)
        error = error * 10 + (*digits - '0');
    DiagnoseError(file, LeadingWords(message), error);
}
