#pragma once
// The PDF syntax of objects: the textual forms of numbers, names, strings, arrays,
// dictionaries, references and streams that every save writes.

#include <string>

#include "common/Buffer.h"

namespace qvx::Filters {
class FilterWriter;
}

namespace qvx::SDF {

class Obj;

class ObjWriter {
public:
    // The writer does not own w; text is batched and flushed to w by Flush and on
    // destruction.
    explicit ObjWriter(Filters::FilterWriter& w) : m_w(w) {}
    virtual ~ObjWriter();
    ObjWriter(const ObjWriter&) = delete;
    ObjWriter& operator=(const ObjWriter&) = delete;

    // Writes obj; a table entry is written as its reference "n g R".
    void Write(const Obj& obj);
    // Writes obj itself; for a table entry, its referent.
    void WriteDirect(const Obj& obj);
    void Flush();

    // An integral value in [-2^51, 2^51 - 1) as an integer, anything else with six
    // significant digits (0.0 beyond 10^40 or below 10^-38).
    static void AppendNumber(std::string& out, double v);
    // Solidus, then the bytes with # escapes for everything but plain printable ASCII.
    static void AppendName(std::string& out, std::string_view name);
    // ( ... ) with the shortest escapes.
    static void AppendLiteralString(std::string& out, Common::ByteView bytes);
    // < ... > with upper-case digits.
    static void AppendHexString(std::string& out, Common::ByteView bytes);

protected:
    // Strings are written literally; a document writer may override (hex, encryption).
    virtual void WriteString(const Obj& str);
    // The bytes written between stream and endstream (Length follows them): the stored
    // data, decrypted; a document writer may override (encryption).
    virtual Common::Bytes StreamData(const Obj& stream);
    // A reference to a table entry: "n g R"; a document writer may override (renumbering).
    virtual void WriteReference(const Obj& entry);
    std::string& Out() { return m_out; }
    // Bytes written so far, including those still batched.
    std::uint64_t Written() const;

private:
    void WriteValue(const Obj& obj, int depth, bool as_reference);
    void WriteStream(const Obj& stream, int depth);
    void MaybeFlush();

    Filters::FilterWriter& m_w;
    std::string m_out;
};

}  // namespace qvx::SDF
