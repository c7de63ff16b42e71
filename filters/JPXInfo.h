#pragma once
// The header of JPEG 2000 data, read without decoding: the JP2/JPX boxes (signature,
// file type, image header, bits per component, colour boxes, palette, channel
// definitions) and the codestream's SIZ marker. Works on a JP2/JPX file as well as on a
// raw J2K codestream; never throws, and reading stops quietly at the first damaged box.

#include <cstdint>
#include <string>
#include <vector>

#include "common/Buffer.h"

namespace qvx::Filters {

struct JPXComponent {
    int bit_depth = 0;     // 1..38
    bool is_signed = false;
    int dx = 1, dy = 1;    // subsampling (from the codestream)
};

// One 'colr' box.
struct JPXColourBox {
    int method = 0;                // 1 enumerated, 2 restricted ICC, 3 any ICC, 4 vendor
    int precedence = 0;
    int approximation = 0;
    std::uint32_t enumerated = 0;  // method 1: 16 sRGB, 17 grey, 18 sYCC, 12 CMYK, ...
    Common::Bytes icc;             // methods 2 and 3: the profile
    bool HasIcc() const { return !icc.empty(); }
};

// One 'cdef' entry: channel number, type (0 colour, 1 opacity, 2 premultiplied opacity),
// association.
struct JPXChannelDef {
    int channel = 0, type = 0, association = 0;
};

class JPXInfo {
public:
    enum Container { e_none, e_j2k, e_jp2 };

    static JPXInfo Read(Common::ByteView data);
    // What the first bytes announce: a JP2/JPX signature box or a codestream (SOC, SIZ).
    static Container Sniff(Common::ByteView data);

    // True when the image geometry and components are known.
    bool IsValid() const { return m_valid; }
    Container GetContainer() const { return m_container; }
    bool IsRawCodestream() const { return m_container == e_j2k; }

    // 'ftyp': brand and compatibility list (four-character codes, e.g. "jp2 ", "jpx ").
    const std::string& GetBrand() const { return m_brand; }
    const std::vector<std::string>& GetCompatibility() const { return m_compat; }
    // A JP2 file, or a JPX file declaring baseline conformance ('jpxb'); raw codestreams
    // have no such declaration and are not counted.
    bool IsBaseline() const;

    // The image area (from 'ihdr', or from SIZ for a raw codestream).
    std::uint32_t GetWidth() const { return m_width; }
    std::uint32_t GetHeight() const { return m_height; }
    std::size_t GetComponentCount() const { return m_components.size(); }
    const std::vector<JPXComponent>& GetComponents() const { return m_components; }
    // All components have the same depth and signedness.
    bool HasUniformBitDepth() const;
    // The compression type of 'ihdr' (7 for JPEG 2000); 0 for a raw codestream.
    int GetCompressionType() const { return m_compression; }
    // The codestream's capabilities (Rsiz).
    int GetProfile() const { return m_rsiz; }
    // Tiles of the codestream's grid (from SIZ); 0 when unknown.
    std::uint64_t GetTileCount() const { return m_tiles; }

    const std::vector<JPXColourBox>& GetColourBoxes() const { return m_colour; }
    // The colour box (colr) a reader uses: the first one with approximation 1 (the
    // exact one), else the first; null when there is none.
    const JPXColourBox* GetColourBox() const;

    bool HasPalette() const { return m_palette_columns > 0; }
    int GetPaletteColumns() const { return m_palette_columns; }
    const std::vector<JPXChannelDef>& GetChannelDefs() const { return m_channel_defs; }
    // Colour channels of the decoded image: the palette's columns (or the components),
    // less those the channel definitions mark as opacity.
    int GetColourChannelCount() const;

private:
    friend class JPXBoxReader;

    bool m_valid = false;
    Container m_container = e_none;
    std::string m_brand;
    std::vector<std::string> m_compat;
    std::uint32_t m_width = 0, m_height = 0;
    std::vector<JPXComponent> m_components;
    int m_compression = 0;
    int m_rsiz = 0;
    std::uint64_t m_tiles = 0;
    std::vector<JPXColourBox> m_colour;
    int m_palette_columns = 0;
    std::vector<JPXChannelDef> m_channel_defs;
};

}  // namespace qvx::Filters
