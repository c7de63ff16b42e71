#pragma once
// One compliance run over one document. Constructing the object performs the whole run:
// open (with the level set before parsing), unlock, the validation passes and, in
// conversion mode, the repairs; then the PDF/UA code translation for level 12. Failures
// throw Common::Exception out of the constructor; rule violations never throw, they are
// read back afterwards through the readers.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Buffer.h"
#include "common/UString.h"
#include "pdf/compliance/ErrorStoreReader.h"
#include "pdf/compliance/PDFAComplianceOptions.h"
#include "pdf/compliance/PDFAConformance.h"
#include "pdf/compliance/RunDocument.h"
#include "sdf/CheckState.h"
#include "sdf/SDFDoc.h"

namespace qvx::PDF {

class PDFACompliance {
public:
    // password may be null; when null or empty the options' "Password" is used.
    PDFACompliance(bool convert, const Common::UString& file_name, const char* password,
                   const PDFAComplianceOptions& options);
    // Plain arguments: no flattening, 300 dpi. The exception codes are kept with the run;
    // no pass consults them.
    PDFACompliance(bool convert, const Common::UString& file_name, const char* password,
                   std::int32_t conformance, const std::int32_t* exceptions, int exception_count,
                   std::uint32_t max_refs, bool first_stop);
    // The same two forms over a memory buffer, which the run keeps for its lifetime.
    PDFACompliance(bool convert, Common::Bytes buffer, const char* password,
                   const PDFAComplianceOptions& options);
    PDFACompliance(bool convert, Common::Bytes buffer, const char* password,
                   std::int32_t conformance, const std::int32_t* exceptions, int exception_count,
                   std::uint32_t max_refs, bool first_stop);

    PDFACompliance(const PDFACompliance&) = delete;
    PDFACompliance& operator=(const PDFACompliance&) = delete;

    int GetErrorCount() const { return m_reader.GetErrorCount(); }
    std::int32_t GetError(int index) const { return m_reader.GetError(index); }
    int GetRefCount(std::int32_t code) const { return m_reader.GetRefCount(code); }
    std::uint32_t GetRef(std::int32_t code, int index) const { return m_reader.GetRef(code, index); }
    static const char* GetErrorMessage(std::int32_t code) { return ErrorStoreReader::GetErrorMessage(code); }
    const ErrorStoreReader& Errors() const { return m_reader; }

    std::int32_t GetConformance() const { return m_state.level; }
    // The run's document (owned by the run).
    SDF::SDFDoc& GetDoc() const { return *mp_doc; }

    // Writes the (repaired) document: header by the PDF/A part of the level, pruned or
    // linearized, without object streams for PDF/A-1. The file appears at path only when
    // complete; the input file is never overwritten (see SaveRunDocument).
    void SaveAs(const Common::UString& path, bool linearize);

private:
    struct Setup {
        bool convert = false;
        std::string password;
        std::int32_t level = e_Level1B;
        std::uint32_t max_refs = 10;
        bool first_stop = false;
        bool flatten = false;
        std::int32_t dpi = 300;
        std::string structure_data;
        std::vector<std::int32_t> exceptions;
    };
    static Setup FromOptions(bool convert, const char* password, const PDFAComplianceOptions& options);
    static Setup FromArguments(bool convert, const char* password, std::int32_t conformance,
                               const std::int32_t* exceptions, int exception_count,
                               std::uint32_t max_refs, bool first_stop);
    PDFACompliance(RunInput input, Setup setup);
    void Run();

    RunInput m_input;
    Setup m_setup;
    // The document and its check state, which the parser and every pass record into.
    std::unique_ptr<SDF::SDFDoc> mp_doc = std::make_unique<SDF::SDFDoc>();
    SDF::CheckState& m_state = mp_doc->GetCheckState();
    ErrorStoreReader m_reader{m_state.errors};
};

}  // namespace qvx::PDF
