#pragma once
// The document information dictionary's eight values, merged with the XMP packet by the
// metadata checks and written back by the metadata repair.

#include <string>

#include "common/UString.h"
#include "pdf/PDFDate.h"

namespace qvx::PDF {

struct DocInfoValues {
    PDFDate creation_date;
    PDFDate mod_date;
    Common::UString title, author, subject, keywords, creator, producer;

    // Which keys the Info dictionary holds (the values above may come from elsewhere).
    bool has_creation_date = false, has_mod_date = false;
    bool has_title = false, has_author = false, has_subject = false;
    bool has_keywords = false, has_creator = false, has_producer = false;

    // The identification found in the packet (pdfaid:part, pdfaid:conformance).
    Common::UString part, conformance;

    // Set by the date checks when the Info date is the newer one; read by the text checks.
    bool info_newer = false;

    // Trailing U+0000 units off the six texts and the two identification strings.
    void TrimTrailingNuls();
};

}  // namespace qvx::PDF
