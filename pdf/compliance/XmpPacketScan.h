#pragma once
// What the metadata checks learn about a packet's text before the XMP toolkit parses it:
// the xpacket processing instructions (the toolkit's parser does not report them), and
// whether the text is safe to hand over at all. The toolkit recurses once per element and
// reads neither UTF-32 nor document type declarations safely, so those are dealt with here.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace qvx::PDF {

// Collects a packet handed over in chunks (a metadata stream is read 1024 bytes at a
// time); refuses a packet longer than Common::Limits::kXmpMaxPacketBytes.
class XmpPacketBuffer {
public:
    // more: further chunks follow. A chunk after the final one throws.
    void Append(std::string_view chunk, bool more);
    bool Complete() const { return m_complete; }
    const std::string& Bytes() const { return m_bytes; }

private:
    std::string m_bytes;
    bool m_complete = false;
};

struct XmpPacketScan {
    std::string text;                    // UTF-8, what the toolkit parses
    bool was_utf8 = true;                // the packet's own bytes were UTF-8 (no transcoding)
    bool wrapper_seen = false;           // an xpacket instruction was met
    bool header_attributes_clean = true; // no instruction data held "bytes" or "encoding"
    // Namespace URI -> the prefixes the packet's xmlns declarations bind to it. The toolkit
    // keeps its own prefix for a namespace it knows, so only the text tells these.
    std::map<std::string, std::set<std::string>> declared_prefixes;
};

// UTF-16 and UTF-32 packets (byte order mark or the pattern of the first character) are
// turned into UTF-8; other text is left for the toolkit, which reads bad UTF-8 as Latin-1.
std::string XmpToUTF8(std::string_view bytes);

// Transcodes, then walks the markup: collects the two instruction flags, and throws
// Common::Exception for a document type declaration or elements nested deeper than
// Common::Limits::kXmpMaxNesting. Malformed markup is left for the toolkit to reject.
XmpPacketScan ScanXmpPacket(std::string_view bytes);

}  // namespace qvx::PDF
