#include "xref/XRef.h"

CPdfXRef::CPdfXRef() = default;
CPdfXRef::~CPdfXRef() = default;

void CPdfXRef::read(CPdfStream* stream)
{
    m_stream = stream;
}

void CPdfXRef::fetch(int32_t, int32_t, CPdfElement& out)
{
    out.setNull();
}

const unsigned char* CPdfXRef::getObjectText(int32_t, int32_t, uint32_t& length)
{
    length = 0;
    return nullptr;
}
