#pragma once
// Readers of indirect objects: ObjParser reads "n g obj ... endobj" at a table entry's
// offset in the document's file (and streams up to their data); ObjStmParser reads the
// objects packed in an object stream. The keep-original variants keep each string's bytes
// undecrypted and each number's token text.

#include <memory>
#include <vector>

#include "sdf/ObjLoader.h"
#include "sdf/Parser.h"

namespace qvx::SDF {

class Indirect;

// A decoded object stream: its data and the (object number, offset from First) pairs.
struct ObjStmData {
    Common::Bytes data;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> pairs;
    std::uint64_t first = 0;
    std::uint64_t after_pairs = 0;  // where the pair list ends
};

// Decodes object stream `stream` (number stm_num). Throws "Compressed object stream is
// corrupt" when N or First is not a usable number.
std::shared_ptr<const ObjStmData> ReadObjStm(const Obj& stream);

class ObjStmParser : public Parser {
public:
    ObjStmParser(const ObjStmData& stm, SDFDocImpl& doc);
    // The object numbered num (at pair index hint when that pair matches). Throws "Could
    // not locate expected object in object stream" or "Compressed object is corrupt".
    std::unique_ptr<Obj> ReadObject(std::uint32_t num, std::uint32_t hint);

private:
    const ObjStmData& m_stm;
};

class ObjParser : public Parser, public ObjLoader {
public:
    explicit ObjParser(SDFDocImpl& doc);
    // The object of an in-use or compressed entry ("Unknown object type" otherwise).
    std::unique_ptr<Obj> LoadObject(Indirect& entry) override;

protected:
    void OnString(Common::Bytes& bytes) override;
    // Loads one compressed object from its object stream.
    std::unique_ptr<Obj> LoadCompressedObject(Indirect& entry);
    virtual std::unique_ptr<ObjStmParser> MakeObjStmParser(const ObjStmData& stm);

private:
    // Moves to the object header, checking the byte before it (183).
    void SeekHeader(std::uint64_t offset, bool check);
    void ReadHeader(bool check);
    std::unique_ptr<Obj> ReadBody(bool check);
};

class KeepOriginalStringObjStmParser : public ObjStmParser {
public:
    using ObjStmParser::ObjStmParser;

protected:
    void PushNumber(double value, bool real, std::string_view text) override;
};

class KeepOriginalStringObjParser : public ObjParser {
public:
    using ObjParser::ObjParser;

protected:
    void OnString(Common::Bytes&) override {}
    void PushNumber(double value, bool real, std::string_view text) override;
    std::unique_ptr<ObjStmParser> MakeObjStmParser(const ObjStmData& stm) override;
};

// Reads entry's object again with the keep-original parser: a detached copy whose strings
// are undecrypted and whose numbers are OriginalStringNumber.
std::unique_ptr<Obj> ParseKeepOriginal(SDFDocImpl& doc, Indirect& entry);

}  // namespace qvx::SDF
