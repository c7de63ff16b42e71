#include "pdf/compliance/PDFACompliance.h"

#include "common/Exception.h"
#include "pdf/compliance/ComplianceDriver.h"
#include "pdf/compliance/PDFUATranslation.h"
#include "pdf/compliance/PageTreeRepair.h"

namespace qvx::PDF {

PDFACompliance::Setup PDFACompliance::FromOptions(bool convert, const char* password,
                                                  const PDFAComplianceOptions& options)
{
    Setup s;
    s.convert = convert;
    s.password = password && *password ? password : options.GetPassword();
    s.level = options.GetConformance();
    s.max_refs = options.GetMaxRefObjs();
    s.first_stop = options.GetFirstStop();
    s.flatten = options.GetFlatten();
    s.dpi = options.GetDpi();
    s.structure_data = options.GetStructureData();
    return s;
}

PDFACompliance::Setup PDFACompliance::FromArguments(bool convert, const char* password,
                                                    std::int32_t conformance,
                                                    const std::int32_t* exceptions,
                                                    int exception_count, std::uint32_t max_refs,
                                                    bool first_stop)
{
    QVX_CHECK(exception_count >= 0 && (exceptions || exception_count == 0),
              "Bad list of exception codes");
    Setup s;
    s.convert = convert;
    s.password = password ? password : "";
    s.level = conformance;
    s.max_refs = max_refs;
    s.first_stop = first_stop;
    if (exception_count > 0) s.exceptions.assign(exceptions, exceptions + exception_count);
    return s;
}

PDFACompliance::PDFACompliance(bool convert, const Common::UString& file_name, const char* password,
                               const PDFAComplianceOptions& options)
    : PDFACompliance(RunInput(file_name), FromOptions(convert, password, options))
{
}

PDFACompliance::PDFACompliance(bool convert, const Common::UString& file_name, const char* password,
                               std::int32_t conformance, const std::int32_t* exceptions,
                               int exception_count, std::uint32_t max_refs, bool first_stop)
    : PDFACompliance(RunInput(file_name), FromArguments(convert, password, conformance, exceptions,
                                                        exception_count, max_refs, first_stop))
{
}

PDFACompliance::PDFACompliance(bool convert, Common::Bytes buffer, const char* password,
                               const PDFAComplianceOptions& options)
    : PDFACompliance(RunInput(std::move(buffer)), FromOptions(convert, password, options))
{
}

PDFACompliance::PDFACompliance(bool convert, Common::Bytes buffer, const char* password,
                               std::int32_t conformance, const std::int32_t* exceptions,
                               int exception_count, std::uint32_t max_refs, bool first_stop)
    : PDFACompliance(RunInput(std::move(buffer)), FromArguments(convert, password, conformance,
                                                                exceptions, exception_count,
                                                                max_refs, first_stop))
{
}

PDFACompliance::PDFACompliance(RunInput input, Setup setup)
    : m_input(std::move(input)), m_setup(std::move(setup))
{
    Run();
}

void PDFACompliance::Run()
{
    m_state.parser_level = m_setup.level;
    m_state.level = m_setup.level;
    m_state.convert = m_setup.convert;
    m_state.first_stop = m_setup.first_stop;
    m_state.is_pdfa = IsPDFALevel(m_setup.level);
    m_state.is_pdfua = IsPDFUALevel(m_setup.level);
    m_state.flatten = m_setup.flatten;
    m_state.dpi = m_setup.dpi;
    m_state.errors.SetMaxRefs(m_setup.max_refs);

    OpenRunDocument(m_input, *mp_doc);
    bool security_ok = m_setup.password.empty() ? mp_doc->InitSecurityHandler()
                                                : mp_doc->InitStdSecurityHandler(m_setup.password);
    if (!security_ok) QVX_THROW_IN("security_ok", "Run", "Document is password protected");
    const auto* file_name = std::get_if<Common::UString>(&m_input);
    PassContext ctx(*mp_doc, file_name ? *file_name : Common::UString(), m_setup.structure_data);
    if (m_state.convert) GiveCatalog(ctx);
    RunDriver(ctx);
    if (m_state.is_pdfua) TranslateToPDFUA(m_state.errors);
}

void PDFACompliance::SaveAs(const Common::UString& path, bool linearize)
{
    SaveRunDocument(path, *mp_doc, m_input, m_state.level, linearize);
}

}  // namespace qvx::PDF
