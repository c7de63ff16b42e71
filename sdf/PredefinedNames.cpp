// The predefined-name table: names that occur in almost every file, so that names read
// from files point at one shared copy instead of owning their text.
#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "sdf/Name.h"

namespace qvx::SDF::PredefinedNames {

namespace {

constexpr const char* kNames[] = {
    "A", "AA", "AIS", "AP", "AS", "AcroForm", "ActualText", "Alt", "Annot", "Annots", "Ascent",
    "AvgWidth", "B", "BBox", "BM", "BS", "Background", "BaseEncoding", "BaseFont", "BaseState",
    "BitsPerComponent", "BitsPerCoordinate", "BitsPerFlag", "BitsPerSample", "BlackIs1",
    "BlackPoint", "Border", "Bounds", "C", "C0", "C1", "CA", "CIDFontType0", "CIDFontType0C",
    "CIDFontType2", "CIDSet", "CIDSystemInfo", "CIDToGIDMap", "CMap", "CMapName", "CS",
    "CalGray", "CalRGB", "CapHeight", "Catalog", "CharProcs", "CharSet", "CheckSum", "ClassMap",
    "Colors", "ColorSpace", "ColorTransform", "Columns", "Contents", "Coords", "Count",
    "CreationDate", "Creator", "CropBox", "D", "DA", "DCTDecode", "DP", "DR", "DV", "DW", "DW2",
    "Decode", "DecodeParms", "Del", "Descendants", "Descent", "Dest", "Dests", "DeviceCMYK",
    "DeviceGray", "DeviceN", "DeviceRGB", "Differences", "Domain", "E", "EarlyChange",
    "EmbeddedFile", "EmbeddedFiles", "Encode", "EncodedByteAlign", "Encoding", "Encrypt",
    "EndOfBlock", "EndOfLine", "Extend", "ExtGState", "F", "FT", "FW", "FWParams", "Ff", "Fields",
    "Filter", "First", "FirstChar", "Fit", "FitB", "FitH", "FitR", "Flags", "FlateDecode", "Font",
    "FontBBox", "FontDescriptor", "FontFamily", "FontFile", "FontFile2", "FontFile3",
    "FontMatrix", "FontName", "FontStretch", "FontWeight", "Form", "FormType", "Function",
    "FunctionType", "Functions", "G", "Gamma", "Group", "H", "Height", "I", "ICCBased", "ID",
    "IDTree", "IM", "Identity", "Identity-H", "Identity-V", "Image", "ImageB", "ImageC",
    "ImageI", "ImageMask", "Index", "Indexed", "Info", "Intent", "Interpolate", "IsMap",
    "ItalicAngle", "JBIG2Decode", "JBIG2Globals", "JPXDecode", "JS", "JavaScript", "K", "Keywords",
    "Kids", "L", "LW", "Lab", "Lang", "Last", "LastChar", "LastModified", "Leading", "Length",
    "Length1", "Length2", "Length3", "Limits", "Linearized", "Link", "LZWDecode", "M", "MCID",
    "MK", "MarkInfo", "Marked", "Mask", "Matrix", "Matte", "MaxLen", "MaxWidth", "MediaBox",
    "Metadata", "MissingWidth", "ModDate", "N", "Name", "Names", "NeedAppearances", "Next",
    "NonStruct", "O", "OC", "OCGs", "OCProperties", "OP", "OPM", "OpenAction", "Opt", "Order",
    "Ordering", "Outlines", "OutputCondition", "OutputConditionIdentifier", "OutputIntent",
    "OutputIntents", "P", "PDF", "PS", "Page", "PageLabels", "PageLayout", "PageMode", "Pages",
    "Params", "Parent", "ParentTree", "ParentTreeNextKey", "Pattern", "PatternType", "Pg",
    "Predictor", "Prev", "Print", "ProcSet", "Producer", "Properties", "Q", "R", "RD", "RGB",
    "Range", "Rect", "Registry", "RegistryName", "Resources", "RoleMap", "Root", "Rotate",
    "Rows", "RunLengthDecode", "S", "SA", "SMask", "SMaskInData", "Separation", "Shading",
    "ShadingType", "Size", "Span", "Stemh", "StemV", "StmF", "StrF", "StructParent",
    "StructParents", "StructTreeRoot", "Style", "SubFilter", "Subject", "Subtype", "Supplement",
    "T", "TR", "TR2", "Tabs", "Text", "Threads", "Title", "ToUnicode", "TrapNet", "Trapped",
    "TrimBox", "TrueType", "Type", "Type0", "Type1", "Type1C", "Type3", "U", "URI", "UserUnit",
    "V", "Version", "ViewerPreferences", "W", "W2", "Widget", "Width", "Widths", "WinAnsiEncoding",
    "MacRomanEncoding", "StandardEncoding", "WhitePoint", "X", "XHeight", "XObject", "XRef",
    "XRefStm", "ca", "op", "pdfaid", "Alternate", "ArtBox", "BleedBox", "DestOutputProfile",
    "GTS_PDFA1", "GTS_PDFX", "Transparency", "Sect", "Document", "Part", "Figure", "Table",
    "TR", "TH", "TD", "L", "LI", "Lbl", "LBody", "H1", "H2", "H3", "Annotation", "Artifact",
    "ObjStm", "Off", "On", "Yes", "Btn", "Tx", "Ch", "Sig", "XYZ", "GoTo", "URI", "Launch",
    "Named", "SubmitForm", "ResetForm", "ImportData", "Square", "Circle", "Line", "Ink",
    "Popup", "FreeText", "Highlight", "Underline", "StrikeOut", "Stamp", "FileAttachment",
    "Sound", "Movie", "Screen", "PrinterMark", "3D", "Redact", "Polygon", "PolyLine", "Caret",
    "Perms", "DocMDP", "UR3", "AF", "AFRelationship", "EF", "UF", "Desc", "Params", "CF", "CFM",
    "AuthEvent", "EncryptMetadata", "OE", "UE", "Standard", "Crypt", "ASCIIHexDecode",
    "ASCII85Decode", "CCITTFaxDecode", "Fl", "AHx", "A85", "RL", "CCF", "DCT", "LZW",
    "DamagedRowsBeforeError", "Nums", "Pdf", "ZaDb", "Helv", "Helvetica", "Times-Roman",
    "Courier", "Symbol", "ZapfDingbats", "ca", "CA", "SM", "SA", "HT", "UCR", "UCR2", "BG",
    "BG2", "TK", "D", "Font", "Decimal", "FontFauxing", "Lang", "MC0", "OC", "Layer",
};

struct Table {
    std::vector<const char*> slots;
    std::vector<std::uint32_t> lengths;
    std::size_t mask = 0;
    std::size_t count = 0;
};

std::uint64_t Hash(std::string_view s)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

const Table& GetTable()
{
    static const Table table = [] {
        Table t;
        std::size_t cap = 1;
        while (cap < std::size(kNames) * 4) cap <<= 1;
        t.slots.assign(cap, nullptr);
        t.lengths.assign(cap, 0);
        t.mask = cap - 1;
        for (const char* n : kNames) {
            std::string_view s(n);
            std::size_t i = Hash(s) & t.mask;
            bool dup = false;
            while (t.slots[i]) {
                if (std::string_view(t.slots[i], t.lengths[i]) == s) {
                    dup = true;
                    break;
                }
                i = (i + 1) & t.mask;
            }
            if (dup) continue;
            t.slots[i] = n;
            t.lengths[i] = static_cast<std::uint32_t>(s.size());
            ++t.count;
        }
        return t;
    }();
    return table;
}

}  // namespace

const char* Find(std::string_view text)
{
    const Table& t = GetTable();
    if (text.size() > 32) return nullptr;
    std::size_t i = Hash(text) & t.mask;
    while (const char* p = t.slots[i]) {
        if (t.lengths[i] == text.size() && std::string_view(p, t.lengths[i]) == text) return p;
        i = (i + 1) & t.mask;
    }
    return nullptr;
}

std::size_t Count() { return GetTable().count; }

}  // namespace qvx::SDF::PredefinedNames
