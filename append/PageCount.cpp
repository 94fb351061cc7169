#include "append/PageCount.h"

#include <cstdio>

#include "append/Engine.h"
#include "xref/XRef.h"

uint32_t CAppendEngine::CountPages(const char* fileName)
{
    CPdfSplit split;
    return split.CountPages(fileName);
}

uint32_t CPdfSplit::CountPages(const char* fileName)
{
    m_file.Open(fileName, "rb");
    m_document.open(fileName);
    CPdfXRef* xref = m_document.xref();
    m_rootNumber = xref->m_rootNumber > 0 ? static_cast<uint32_t>(xref->m_rootNumber) : 0;
    m_infoNumber = xref->m_infoNumber > 0 ? static_cast<uint32_t>(xref->m_infoNumber) : 0;
    uint32_t count = 0;
    if (m_file) {
        std::setvbuf(m_file.get(), nullptr, _IONBF, 0);
        m_input.Attach(m_file.get(), m_document.headerOffset());
        m_reader.Attach(&m_input, xref);
        m_reader.m_beyondEndIsError = false;
        bool isReference = false;
        const uint32_t pages = NumberAfter(m_rootNumber, "Pages", isReference);
        count = isReference ? NumberAfter(pages, "Count", isReference) : 0;
        if (isReference) {
            // "/Count 9 0 R": the count is the integer object 9.
            CPdfElement value;
            xref->fetch(static_cast<int32_t>(count), 0, value);
            count = value.is(PdfKind::Integer) && value.integer() > 0 ? static_cast<uint32_t>(value.integer()) : 0;
        }
    }
    m_input.Detach();
    m_file.Close();
    m_document.close();
    return count;
}

uint32_t CPdfSplit::NumberAfter(uint32_t number, const char* key, bool& isReference)
{
    isReference = false;
    if (number == 0 || !m_reader.Read(number, m_text))
        return 0;
    const CObjectKey* found = m_text.scan.FindKey(m_text.head, key);
    if (!found)
        return 0;
    if (const CObjectRef* ref = m_text.scan.ReferenceValue(*found)) {
        isReference = true;
        return ref->number;
    }
    int64_t value = 0;
    if (!m_text.scan.IntegerValue(m_text.head, *found, value) || value < 0 || value > INT32_MAX)
        return 0;
    return static_cast<uint32_t>(value);
}
