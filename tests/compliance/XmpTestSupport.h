#pragma once
// Small XMP packets for the metadata tests, and a run of the packet checks that returns
// the codes recorded.

#include <set>
#include <string>

#include "pdf/compliance/DocInfoValues.h"
#include "pdf/compliance/XmpValidation.h"

namespace qvx::Test {

inline constexpr const char* kBegin = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>";
inline constexpr const char* kEnd = "<?xpacket end=\"w\"?>";

// One rdf:Description holding body, with the usual prefixes declared.
inline std::string XmpBody(const std::string& body)
{
    return "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\""
           " xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\""
           " xmlns:xmpRights=\"http://ns.adobe.com/xap/1.0/rights/\""
           " xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">" +
           body + "</rdf:Description></rdf:RDF></x:xmpmeta>";
}

inline std::string Ident(const std::string& part, const std::string& conformance)
{
    std::string s = "<pdfaid:part>" + part + "</pdfaid:part>";
    if (!conformance.empty()) s += "<pdfaid:conformance>" + conformance + "</pdfaid:conformance>";
    return s;
}

// A wrapped packet: body plus the identification of part/conformance.
inline std::string Packet(const std::string& body, const std::string& part = "1", const std::string& conf = "B")
{
    return kBegin + XmpBody(body + Ident(part, conf)) + kEnd;
}

struct XmpRun {
    std::set<int> codes;
    PDF::DocInfoValues values;
    PDF::XmpMetaHolder holder;
};

// Runs the packet checks at level (convert for conversion mode) with the given Info values.
inline XmpRun RunXmp(int level, const std::string& packet, PDF::DocInfoValues values = {}, bool convert = false)
{
    SDF::CheckState state;
    state.level = level;
    state.is_pdfa = true;
    state.convert = convert;
    PDF::XmpCheckContext ctx{state, 7};
    XmpRun run;
    PDF::ValidateXmpPacket(ctx, packet, values, &run.holder);
    for (const auto& [code, rec] : state.errors.Records()) run.codes.insert(code);
    run.values = std::move(values);
    return run;
}

inline std::set<int> Codes(int level, const std::string& packet, const PDF::DocInfoValues& values = {})
{
    return RunXmp(level, packet, values).codes;
}

}  // namespace qvx::Test
