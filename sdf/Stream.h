#pragma once
// A PDF stream: a dictionary plus its data. `FileStream` reads the data from the
// document's file at the offset the parser found, or holds data set in memory.

#include <optional>

#include "sdf/Dict.h"

namespace qvx::SDF {

class SDFDocImpl;

class Stream : public Obj {
public:
    Type GetType() const override { return e_stream; }
    Dict* GetDict() const { return mp_dict.get(); }

    std::size_t Size() const override { return mp_dict->Size(); }
    DictIterator DictBegin() const override { return mp_dict->DictBegin(); }
    DictIterator DictEnd() const override { return mp_dict->DictEnd(); }
    DictIterator Find(std::string_view key) const override { return mp_dict->Find(key); }
    Obj* FindObj(std::string_view key) const override { return mp_dict->FindObj(key); }
    DictIterator Get(std::string_view key) const override { return mp_dict->Get(key); }
    bool Erase(std::string_view key) override { return mp_dict->Erase(key); }
    void Erase(DictIterator pos) override { mp_dict->Erase(pos); }
    bool Rename(std::string_view o, std::string_view n) override { return mp_dict->Rename(o, n); }
    std::unique_ptr<Filters::Filter> GetDecodedStream() const override;

protected:
    explicit Stream(std::unique_ptr<Dict> dict);
    Obj* PutSlot(std::string_view key, ObjSlot value) override;

    std::unique_ptr<Dict> mp_dict;
};

class FileStream final : public Stream {
public:
    // Data in doc's file from data_offset on; its length is found on first use.
    FileStream(std::unique_ptr<Dict> dict, SDFDocImpl& doc, std::uint64_t data_offset);
    // Data held in memory; Length is set to its size.
    FileStream(std::unique_ptr<Dict> dict, Common::Bytes data);
    static std::unique_ptr<FileStream> Create(Common::Bytes data, std::unique_ptr<Dict> dict = nullptr);

    std::unique_ptr<Obj> Clone() const override;
    bool IsNewStream() const override { return m_data.has_value(); }
    std::uint64_t GetRawStreamLength() const override;
    std::unique_ptr<Filters::Filter> GetRawStream(bool decrypt = true) const override;
    void SetStreamData(Common::Bytes data) override;

    // File-backed streams: where the data starts in the file.
    std::uint64_t GetDataOffset() const { return m_data_offset; }
    // Fixes the data length (the rebuilder found it by scanning).
    void SetRawLength(std::uint64_t len) { m_length = len; }

private:
    SDFDocImpl* mp_file = nullptr;
    std::uint64_t m_data_offset = 0;
    mutable std::optional<std::uint64_t> m_length;
    std::optional<Common::Bytes> m_data;
};

}  // namespace qvx::SDF
