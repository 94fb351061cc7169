// Page counting for the job's page filters: opens a file on its own, follows the catalog's
// /Pages to the page-tree root and reads its /Count (following it when it is a reference).
#pragma once

#include <cstdint>

#include "append/InputFile.h"
#include "append/ObjectText.h"
#include "pdf/Document.h"
#include "platform/File.h"

class CPdfSplit {
public:
    CPdfSplit() = default;
    virtual ~CPdfSplit() = default;
    CPdfSplit(const CPdfSplit&) = delete;
    CPdfSplit& operator=(const CPdfSplit&) = delete;

    // Number of pages; 0 when the catalog or the root cannot be read. Unreadable, damaged or
    // encrypted files raise the document's exception.
    uint32_t CountPages(const char* fileName);

private:
    // The value under key in object number's top dictionary: an integer, or the object number
    // of a reference (isReference set). 0 when there is none.
    uint32_t NumberAfter(uint32_t number, const char* key, bool& isReference);

    CPdfDocument m_document;
    CFileHandle m_file;
    uint32_t m_rootNumber = 0;
    uint32_t m_infoNumber = 0;
    CInputFile m_input;
    CObjectReader m_reader;
    CObjectText m_text;
};
