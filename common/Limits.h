#pragma once
// Resource limits applied to hostile input, in one place. Fuzz builds use lower values so
// the fuzzer spends its time on bugs rather than on legitimately slow inputs.

#include <cstddef>
#include <cstdint>

namespace qvx::Common::Limits {

#ifdef QVX_FUZZING
inline constexpr std::uint64_t kDecodeOutputFloor = 16ull << 20;    // bytes
inline constexpr std::uint64_t kDecodeOutputRatio = 100;            // times the raw size
inline constexpr std::uint64_t kMaxPredictorRowBytes = 1ull << 20;
inline constexpr std::uint64_t kMaxImagePixels = 1ull << 22;        // width x height
inline constexpr std::uint64_t kMaxImageSamples = 1ull << 24;       // pixels x components
inline constexpr int kMaxJpegScans = 100;
inline constexpr std::uint64_t kXmpMaxPacketBytes = 1ull << 20;
inline constexpr std::uint64_t kMaxJBIG2Pixels = 1ull << 22;
inline constexpr std::uint64_t kMaxJBIG2SymbolSize = 1ull << 10;
inline constexpr std::uint64_t kMaxJBIG2Symbols = 1ull << 14;
inline constexpr std::uint64_t kMaxJBIG2Work = 1ull << 26;
#else
inline constexpr std::uint64_t kDecodeOutputFloor = 256ull << 20;
inline constexpr std::uint64_t kDecodeOutputRatio = 1000;
inline constexpr std::uint64_t kMaxPredictorRowBytes = 64ull << 20;  // one row of a predictor
// Image codecs refuse larger images before allocating: the libraries keep whole planes
// (JPEG 2000 as 32-bit samples, progressive JPEG as coefficients) in memory.
inline constexpr std::uint64_t kMaxImagePixels = 1ull << 28;
inline constexpr std::uint64_t kMaxImageSamples = 1ull << 29;
// Each progressive JPEG scan revisits the whole image; real encoders write about a dozen.
inline constexpr int kMaxJpegScans = 1000;
// A metadata packet is read whole and handed to the XMP toolkit, whose tree takes many
// times the text's size; real packets stay below a few hundred kilobytes.
inline constexpr std::uint64_t kXmpMaxPacketBytes = 16ull << 20;
// JBIG2: a page or region bitmap, one side of a symbol, the symbols of one dictionary or
// text region, and the pixels one stream may decode or draw in all (symbols placed many
// times, halftone cells) so that a few hostile bytes cannot keep the decoder busy.
inline constexpr std::uint64_t kMaxJBIG2Pixels = 1ull << 28;
inline constexpr std::uint64_t kMaxJBIG2SymbolSize = 1ull << 16;
inline constexpr std::uint64_t kMaxJBIG2Symbols = 1ull << 20;
inline constexpr std::uint64_t kMaxJBIG2Work = 1ull << 32;
#endif

// The XMP toolkit parses and walks its tree recursively; deeper packets are refused
// before it sees them (real ones nest about a dozen elements).
inline constexpr std::uint32_t kXmpMaxNesting = 200;

// Configuration files are read whole and parsed recursively.
inline constexpr std::uint64_t kConfigFileMaxBytes = 1ull << 20;
inline constexpr std::uint32_t kConfigXmlMaxDepth = 32;

}  // namespace qvx::Common::Limits

// The object layer.
namespace qvx::Common::Limits {
// Arrays and dictionaries open at once while parsing (999 may be open) and when writing.
inline constexpr int kMaxObjectNesting = 1000;
// Object numbers from cross-reference data and object streams, and from the rebuilder.
inline constexpr std::uint32_t kMaxXRefObjNum = 1048575;
inline constexpr std::uint32_t kMaxRebuildObjNum = 8388607;
// Objects whose loading needs another object loaded first (object streams, their lengths).
inline constexpr std::size_t kMaxNestedLoads = 64;
}  // namespace qvx::Common::Limits

// The writer.
namespace qvx::Common::Limits {
// A document saved to memory must be addressable with 32 bits.
inline constexpr std::uint64_t kMaxSaveToMemory = 0xFFFFFFFFull;
}  // namespace qvx::Common::Limits

// The page layer.
namespace qvx::Common::Limits {
// Levels of the page tree followed below the root.
inline constexpr int kMaxPageTreeDepth = 256;
// Content streams entered inside one another (forms, patterns, glyphs, appearances).
inline constexpr int kMaxContentNesting = 32;
// Decoded bytes of one content stream, or of a page's streams joined; larger content is
// cut where it is read and left as it is where it would be rewritten.
inline constexpr std::uint64_t kMaxContentBytes = 1ull << 30;
// Arrays and dictionaries open at once inside a content-stream operand.
inline constexpr int kMaxOperandNesting = 64;
// Operands kept for one operator; more are dropped and the operator reported.
inline constexpr std::size_t kMaxOperands = 1024;
// Colour spaces, functions and shadings defined inside one another.
inline constexpr int kMaxColorSpaceNesting = 16;
// CMaps chained through usecmap.
inline constexpr int kMaxCMapChain = 8;
// Bytes of one predefined or embedded CMap program.
inline constexpr std::uint64_t kMaxCMapBytes = 16ull << 20;
// Components of a DeviceN colour space that can be built at all.
inline constexpr int kMaxColorComponents = 32;
// Saved graphics states kept by the content reader (deeper q's are counted, not saved).
inline constexpr int kMaxSavedStates = 4096;
// Fields of an interactive form followed below the root fields, and their nesting.
inline constexpr int kMaxFieldDepth = 64;
inline constexpr std::size_t kMaxFields = 1u << 20;
// Actions followed through Next chains.
inline constexpr std::size_t kMaxActions = 4096;
// Nodes visited in a structure tree, an outline or a name tree.
inline constexpr std::size_t kMaxTreeNodes = 1u << 20;
// Embedded PDF files validated inside a run: their decoded size and how deep runs nest.
inline constexpr std::uint64_t kMaxEmbeddedFileBytes = 256ull << 20;
inline constexpr int kMaxEmbeddedRunDepth = 4;
}  // namespace qvx::Common::Limits

// The font checks of the compliance engine.
namespace qvx::Common::Limits {
// Distinct codes tested per font (a composite font shows at most 65536 CIDs in practice).
inline constexpr std::size_t kMaxFontCodesChecked = 1u << 16;
// Glyphs of one program scanned by name or CID (CharSet and CIDSet coverage).
inline constexpr long kMaxFontGlyphsScanned = 65536;
// Type 3 glyphs whose procedures show text in Type 3 fonts in turn.
inline constexpr int kMaxType3GlyphNesting = 4;
// Marked-content sequences open at once, followed for ActualText.
inline constexpr std::size_t kMaxMarkedContentDepth = 256;
// Number-tree and structure-tree levels followed from a page to its structure elements.
inline constexpr int kMaxStructTreeDepth = 32;
// Composite TrueType glyphs followed through the components that lend them their metrics.
inline constexpr unsigned kMaxGlyphNesting = 8;
// Substitute font programs read from the system for conversion.
inline constexpr std::uint64_t kMaxSubstituteFontBytes = 8ull << 20;
// Decoded data that conversion re-encodes in memory (an LZW stream recompressed with Flate).
inline constexpr std::uint64_t kMaxRecodedStreamBytes = 256ull << 20;
}  // namespace qvx::Common::Limits
// The renderer.
namespace qvx::Common::Limits {
// Pixels of one rendered bitmap; a page larger at the asked resolution is drawn at a lower one.
inline constexpr std::uint64_t kMaxRenderPixels = 1ull << 25;
// Cairo draws no image wider or taller than this.
inline constexpr int kMaxRenderSide = 32767;
// Work per page: operators read (all streams entered) and image pixels decoded; past that the
// rest of the page is skipped and the result marked incomplete.
inline constexpr std::uint64_t kMaxRenderOperators = 4'000'000;
inline constexpr std::uint64_t kMaxRenderImagePixels = 1ull << 28;
// Tiling pattern cells drawn for one fill, and the pixels of one cell.
inline constexpr std::uint64_t kMaxPatternCellPixels = 1ull << 24;
// Samples of a sampled function (all outputs), the program of a calculator function and the
// operators one evaluation may run.
inline constexpr std::uint64_t kMaxFunctionSamples = 1ull << 24;
inline constexpr std::size_t kMaxCalculatorBytes = 1u << 16;
inline constexpr long kMaxCalculatorSteps = 100000;
// Function-based shadings whose samples (64 KB each) a page keeps for drawing them again.
inline constexpr std::size_t kMaxSampledShadings = 256;
// Patches or triangles of one mesh shading.
inline constexpr std::size_t kMaxMeshPatches = 1u << 18;
// Bytes of one embedded font program drawn with.
inline constexpr std::uint64_t kMaxRenderFontBytes = 64ull << 20;
// Segments of one path.
inline constexpr std::size_t kMaxRenderPathSegments = 1u << 22;
// Drawers run inside one another for pattern cells and soft masks (each may hold a bitmap).
inline constexpr int kMaxRenderNesting = 6;
// Filled glyphs drawn from coverage masks kept for the page: the largest em (device pixels
// on a side) kept, the largest side of one mask, the bytes of all masks kept, and the pixels
// and mask bytes one string's combined mask may hold before it is drawn.
inline constexpr double kMaxGlyphMaskEm = 64;
inline constexpr int kMaxGlyphMaskSide = 256;
inline constexpr std::uint64_t kMaxGlyphMaskBytes = 8ull << 20;
inline constexpr std::uint64_t kMaxGlyphRunBytes = 1ull << 20;
}  // namespace qvx::Common::Limits
