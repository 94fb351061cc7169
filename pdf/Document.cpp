#include "pdf/Document.h"

void CPdfDocument::open(const std::string&)
{
}

void CPdfDocument::close()
{
    m_xref.reset();
    m_stream.reset();
    m_file.Close();
    m_isOpen = false;
}
