#pragma once
// Namespace URIs of the XMP schemas the metadata checks know, as published for them.

#include <string_view>

namespace qvx::PDF::XmpNs {

inline constexpr std::string_view kDC = "http://purl.org/dc/elements/1.1/";
inline constexpr std::string_view kXMP = "http://ns.adobe.com/xap/1.0/";
inline constexpr std::string_view kXMPRights = "http://ns.adobe.com/xap/1.0/rights/";
inline constexpr std::string_view kXMPMM = "http://ns.adobe.com/xap/1.0/mm/";
inline constexpr std::string_view kXMPBJ = "http://ns.adobe.com/xap/1.0/bj/";
inline constexpr std::string_view kXMPTPg = "http://ns.adobe.com/xap/1.0/t/pg/";
inline constexpr std::string_view kPDF = "http://ns.adobe.com/pdf/1.3/";
inline constexpr std::string_view kPhotoshop = "http://ns.adobe.com/photoshop/1.0/";
inline constexpr std::string_view kTIFF = "http://ns.adobe.com/tiff/1.0/";
inline constexpr std::string_view kEXIF = "http://ns.adobe.com/exif/1.0/";
inline constexpr std::string_view kEXIFAux = "http://ns.adobe.com/exif/1.0/aux/";
inline constexpr std::string_view kCameraRaw = "http://ns.adobe.com/camera-raw-settings/1.0/";
inline constexpr std::string_view kXMPDM = "http://ns.adobe.com/xmp/1.0/DynamicMedia/";
inline constexpr std::string_view kPDFAId = "http://www.aiim.org/pdfa/ns/id/";
inline constexpr std::string_view kPDFUAId = "http://www.aiim.org/pdfua/ns/id/";

// Namespaces of structured value types.
inline constexpr std::string_view kXMPG = "http://ns.adobe.com/xap/1.0/g/";
inline constexpr std::string_view kXMPGImg = "http://ns.adobe.com/xap/1.0/g/img/";
inline constexpr std::string_view kStFnt = "http://ns.adobe.com/xap/1.0/sType/Font#";
inline constexpr std::string_view kStRef = "http://ns.adobe.com/xap/1.0/sType/ResourceRef#";
inline constexpr std::string_view kStVer = "http://ns.adobe.com/xap/1.0/sType/Version#";
inline constexpr std::string_view kStEvt = "http://ns.adobe.com/xap/1.0/sType/ResourceEvent#";
inline constexpr std::string_view kStJob = "http://ns.adobe.com/xap/1.0/sType/Job#";
inline constexpr std::string_view kStDim = "http://ns.adobe.com/xap/1.0/sType/Dimensions#";

// PDF/A extension schemas.
inline constexpr std::string_view kPDFAExtension = "http://www.aiim.org/pdfa/ns/extension/";
inline constexpr std::string_view kPDFASchema = "http://www.aiim.org/pdfa/ns/schema#";
inline constexpr std::string_view kPDFAProperty = "http://www.aiim.org/pdfa/ns/property#";
inline constexpr std::string_view kPDFAType = "http://www.aiim.org/pdfa/ns/type#";
inline constexpr std::string_view kPDFAField = "http://www.aiim.org/pdfa/ns/field#";

}  // namespace qvx::PDF::XmpNs
