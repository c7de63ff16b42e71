#pragma once
// The PDF tokenizer and object reader. It reads tokens from contiguous bytes (the
// document's file, a decoded object stream, a test buffer) and builds objects on an
// operand stack: numbers stay unboxed and names stay in a side arena until they are
// stored in a container, and the stack and the arena are reused across objects.
//
// The reader is tolerant: it repairs what it can (odd hex digits, unbalanced containers,
// odd dictionaries) and throws only when no object can be formed. When the document's
// check state has a parser level, it records PDF/A syntax findings there as it reads.
//
// Subclasses: ObjParser (indirect objects at an offset), ObjStmParser (objects of an object
// stream), the keep-original variants, XRefParser and the rebuilder.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Buffer.h"
#include "sdf/Name.h"
#include "sdf/Rules.h"

namespace qvx::Filters {
class Filter;
}

namespace qvx::SDF {

class SDFDocImpl;
struct DictEntry;
using Common::Byte;

class Parser {
public:
    // Reads bytes that outlive the parser. doc (may be null) resolves references and
    // receives findings when its parser level is set.
    Parser(Common::ByteView data, SDFDocImpl* doc);
    // Reads a memory filter's bytes in place, or takes a copy of what any other input has.
    Parser(Filters::Filter& in, SDFDocImpl* doc);
    virtual ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // Reads the next token; if it begins an object, reads the whole object onto the stack
    // and returns true. Returns false at a keyword the handler does not take (obj, endobj,
    // stream, xref, trailer, startxref, ...), which Token() then holds, or at the end of
    // the data (Token() empty). A keyword inside an array or dictionary ends it early; it
    // is read again by the next call.
    bool GetObj();
    std::string_view Token() const { return m_tok; }

    // The operand stack, bottom first.
    std::size_t StackSize() const { return m_stack.size(); }
    void ClearStack();
    bool IsNumberAt(std::size_t i) const;
    double NumberAt(std::size_t i) const;
    bool IsDictAt(std::size_t i) const;
    // Takes item i as an object (numbers and names are boxed here); the slot stays, empty.
    std::unique_ptr<Obj> TakeAt(std::size_t i);
    // The identifier conversions of stack items; see ToNonNegativeInt and ToPositiveInt.
    std::uint32_t GetNonNegativeIntAt(std::size_t i) const;
    std::uint32_t GetPositiveIntAt(std::size_t i) const;
    // Throws "No name object at given location location" when item i is not a name.
    std::string_view GetNameAt(std::size_t i) const;
    // Round to nearest (ties to even), then 0 .. 2^31 - 1 (or 1 .. 2^31 - 1).
    static std::uint32_t ToNonNegativeInt(double v);
    // The same conversion, nullopt where ToNonNegativeInt throws.
    static std::optional<std::uint32_t> NonNegativeInt(double v);
    static std::uint32_t ToPositiveInt(double v);

    // Position in the data.
    std::uint64_t Tell() const { return static_cast<std::uint64_t>(m_cur - m_begin); }
    void Seek(std::uint64_t pos);
    Common::ByteView Data() const { return {m_begin, static_cast<std::size_t>(m_end - m_begin)}; }
    int PeekByte(std::size_t ahead = 0) const { return m_end - m_cur > static_cast<std::ptrdiff_t>(ahead) ? m_cur[ahead] : -1; }
    int GetByte() { return m_cur < m_end ? *m_cur++ : -1; }
    // Whether the last token was directly preceded by CR or LF.
    bool TokenAfterEOL() const;
    // After the keyword stream: skips the bytes up to and including the next LF, CR or
    // CR LF (a NUL ends the skip too).
    void SkipStreamEOL();

protected:
    // Keywords: returns true when it consumed one (the base takes R).
    virtual bool HandleKeyword(std::string_view keyword);
    // Whether a keyword met inside an open dictionary or array closes it (the words that
    // end or separate objects); any other word is skipped as stray.
    virtual bool ClosesOpenObjects(std::string_view keyword) const;
    // The null object a null token or an unresolvable reference becomes.
    virtual std::unique_ptr<Obj> MakeNull();
    // Called with every finished string (decryption).
    virtual void OnString(Common::Bytes& bytes);
    // Pushes a number token's value (after the checks); real: the token had a point.
    virtual void PushNumber(double value, bool real, std::string_view text);

    // Reading stops at end (at most the data's end) until the limit is lifted.
    void SetLimit(std::uint64_t end);
    void ClearLimit() { m_end = m_full_end; }

    // For keyword handlers: pops the two operands of R and returns the object number.
    // Throws too_few when the innermost open container holds fewer than two items.
    std::uint32_t PopReference(const char* too_few);
    // For the table readers: pushes a reference to num, making a placeholder entry when no
    // section has defined the object yet. Throws "Bad obj num" past limit.
    void PushTableReference(std::uint32_t num, std::uint32_t limit);
    void PushObj(ObjSlot obj);
    void PushNumberItem(double value);

    // The check hooks: the parser level (0 when off), its PDF/A part, and recording.
    std::int32_t HookLevel() const { return m_level; }
    int HookPart() const { return m_part; }
    // Records code against the object being read (or with no object) when its rule is in
    // force at the hooks' level; callers test that the hooks are on.
    void Report(std::int32_t code);
    // Turns the token checks off for a reader whose objects are read again later (the
    // conversion's rewriting of names stays: the rebuilt trailer is kept as read).
    void DisableHooks() { m_level = m_part = 0; }
    // Conversion reads the objects of a damaged file as far as their bytes allow rather than
    // losing them (a page whose dictionary lost a byte would drop out of the copy): where the
    // reader would give up on an object, it skips or mends the damaged token and goes on.
    // Only for readers of indirect objects; content and cross-reference tables keep the
    // strict reading. Every mend is a syntax finding (11).
    void SalvageInConversion();
    bool Salvaging() const { return m_salvage; }

    SDFDocImpl* mp_doc;
    // The indirect object being read, for decryption and findings (0: none).
    std::uint32_t m_cur_num = 0;
    std::uint16_t m_cur_gen = 0;

private:
    enum TokenKind { e_eof, e_delim, e_regular };
    struct Item {
        enum Kind : std::uint8_t { e_obj, e_number, e_name };
        Kind kind;
        double number;
        std::uint32_t name;  // index into m_names
        ObjSlot obj;
    };
    struct Frame {
        bool dict;
        std::size_t start;
    };

    TokenKind NextToken();
    void ReadNumber();
    void ReadName();
    void ReadLiteralString();
    // False when salvage reads the < as a damaged << instead.
    bool ReadHexString();
    void FinishString();
    void OpenFrame(bool dict);
    void CloseArray();
    void CloseDict();
    // At >>: closes the arrays left open inside the innermost dictionary (code 11);
    // false when no dictionary is open.
    bool CloseArraysInDict(std::size_t depth);
    // Salvage: whether an item in a key's place is no name; then the dictionary's entries in
    // order, each name taking the item after it, an item in a key's place that is no name
    // dropped (so the entries after a lost slash or a value missing its key stay).
    bool HasBadKey(std::size_t start) const;
    void PairSalvaged(std::size_t start, std::vector<DictEntry>& entries);
    void Mended();
    // Closes every container opened since depth (a keyword or the end of data ended them).
    void CloseEarly(std::size_t depth);
    ObjSlot Box(Item& it);

    const Byte* m_begin;
    const Byte* m_cur;
    const Byte* m_end;
    const Byte* m_full_end;
    Common::Bytes m_owned;  // the data, when it had to be copied
    std::string_view m_tok;
    const Byte* mp_tok_start = nullptr;

    std::vector<Item> m_stack;
    std::vector<Frame> m_frames;
    std::vector<Name> m_names;
    Common::Bytes m_strbuf;
    std::string m_namebuf;

    std::int32_t m_level = 0;
    int m_part = 0;
    // Conversion to PDF/A-2 and later: names that are no UTF-8 are read as Latin-1 text.
    bool m_utf8_names = false;
    bool m_salvage = false;
};

}  // namespace qvx::SDF
