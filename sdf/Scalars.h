#pragma once
// The value kinds without children: null, booleans and numbers.

#include "sdf/Obj.h"

namespace qvx::SDF {

class Null final : public Obj {
public:
    static std::unique_ptr<Null> Create() { return std::make_unique<Null>(); }
    // The one null a document hands out for empty table slots; owned by the document.
    static std::unique_ptr<Null> CreateShared()
    {
        auto n = Create();
        SetDocOwned(n.get());
        return n;
    }
    Type GetType() const override { return e_null; }
    std::unique_ptr<Obj> Clone() const override { return Create(); }
};

class Bool final : public Obj {
public:
    explicit Bool(bool b) : m_value(b) {}
    static std::unique_ptr<Bool> Create(bool b) { return std::make_unique<Bool>(b); }
    Type GetType() const override { return e_bool; }
    std::unique_ptr<Obj> Clone() const override { return Create(m_value); }
    bool GetBool() const override { return m_value; }
    void SetBool(bool b) override;

private:
    bool m_value;
};

// Integers and reals share one double.
class Number : public Obj {
public:
    explicit Number(double v) : m_value(v) {}
    static std::unique_ptr<Number> Create(double v) { return std::make_unique<Number>(v); }
    Type GetType() const override { return e_number; }
    std::unique_ptr<Obj> Clone() const override { return Create(m_value); }
    double GetNumber() const override { return m_value; }
    void SetNumber(double v) override;
    void SetNumberNoSetDirty(double v) override { m_value = v; }

private:
    double m_value;
};

// A number that also keeps the token text it was read from (the keep-original parsers).
class OriginalStringNumber final : public Number {
public:
    OriginalStringNumber(double v, std::string_view text) : Number(v), m_text(text) {}
    std::unique_ptr<Obj> Clone() const override
    {
        return std::make_unique<OriginalStringNumber>(GetNumber(), m_text);
    }
    const std::string& GetOriginalText() const { return m_text; }

private:
    std::string m_text;
};

}  // namespace qvx::SDF
