#include <gtest/gtest.h>

#include "sdf/ObjSet.h"
#include "sdf/Objects.h"
#include "sdf/SDFDoc.h"
#include "tests/sdf/SdfTestUtil.h"

using namespace qvx::SDF;
using qvx::Test::Text;
using qvx::Test::Thrown;

TEST(Dict, KeysIterateAndWriteInByteOrder)
{
    auto d = Dict::Create();
    d->PutName("Type", "XObject");
    d->PutNumber("A", 1);
    d->PutNumber("Length", 20);
    d->PutName("a", "lower");  // 'a' sorts after 'T' by byte value
    std::vector<std::string> keys;
    for (DictIterator it = d->DictBegin(); it != d->DictEnd(); ++it) keys.emplace_back(it.KeyText());
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "Length", "Type", "a"}));
    EXPECT_EQ(Text(d.get()), "<</A 1/Length 20/Type/XObject/a/lower>>");

    auto kn = Dict::Create();
    kn->PutNumber("K", 1);
    kn->PutName("N", "V");
    EXPECT_EQ(Text(kn.get()), "<</K 1/N/V>>");

    // Values starting with a delimiter follow the key directly; the others get one space.
    auto mix = Dict::Create();
    mix->PutBool("B", true);
    mix->PutNull("N");
    mix->PutString("S", "x");
    mix->PutArray("A")->PushBackNumber(1);
    mix->PutDict("D")->PutNumber("X", -2);
    EXPECT_EQ(Text(mix.get()), "<</A[1]/B true/D<</X -2>>/N null/S(x)>>");
}

TEST(Dict, LookupReplaceEraseRename)
{
    auto d = Dict::Create();
    d->PutNumber("W", 1);
    d->PutNumber("W", 2);  // replaces
    EXPECT_EQ(d->Size(), 1u);
    EXPECT_EQ(d->FindObj("W")->GetNumber(), 2);
    EXPECT_EQ(d->FindObj("Missing"), nullptr);
    EXPECT_TRUE(d->Find("Missing") == d->DictEnd());
    EXPECT_EQ(Thrown([&] { d->Get("Missing"); }).GetMessage(), "The dictionary does not contain required key: Missing");
    EXPECT_EQ(d->Get("W").Value()->GetNumber(), 2);

    d->PutName("X", "Y");
    EXPECT_TRUE(d->Rename("X", "A"));
    EXPECT_FALSE(d->Rename("X", "B"));
    EXPECT_EQ(d->DictBegin().KeyText(), "A");
    EXPECT_EQ(d->FindObj("A")->GetName(), "Y");
    EXPECT_TRUE(d->Rename("A", "W"));  // replaces the existing W
    EXPECT_EQ(d->Size(), 1u);
    EXPECT_EQ(d->FindObj("W")->GetName(), "Y");

    EXPECT_TRUE(d->Erase("W"));
    EXPECT_FALSE(d->Erase("W"));
    EXPECT_EQ(Thrown([&] { d->Erase(d->DictEnd()); }).GetMessage(),
              "Invalid iterator to erase. Please call HasNext to verify the iterator.");
    EXPECT_EQ(Thrown([&] { d->Put("K", static_cast<Obj*>(nullptr)); }).GetMessage(), "The value can't be NULL (0)");
    EXPECT_EQ(Thrown([&] { d->Put("K", std::unique_ptr<Obj>()); }).GetMessage(), "The value can't be NULL (0)");

    // A direct value given by pointer is copied; the caller keeps its own.
    auto src = Name::Create("Shared");
    Obj* stored = d->Put("N", src.get());
    EXPECT_NE(stored, src.get());
    EXPECT_EQ(stored->GetParent(), d.get());
    EXPECT_EQ(src->GetParent(), nullptr);
}

TEST(Array, IndexesAndOwnership)
{
    auto a = Array::Create();
    a->PushBackNumber(1);
    a->PushBackName("N");
    a->Insert(0, Bool::Create(false));
    EXPECT_EQ(Text(a.get()), "[false 1 /N]");
    a->Replace(1, Str::Create("s"));
    a->EraseAt(0);
    EXPECT_EQ(Text(a.get()), "[(s) /N]");
    EXPECT_EQ(Thrown([&] { a->GetAt(2); }).GetMessage(), "Array::GetAt - Index is out of range");
    EXPECT_EQ(Thrown([&] { a->Replace(2, Null::Create()); }).GetMessage(), "Array::Replace: Index is out of range");
    EXPECT_EQ(Thrown([&] { a->PushBack(std::unique_ptr<Obj>()); }).GetMessage(), "Obj can't be NULL (0)");
    EXPECT_EQ(Thrown([&] { a->PushBack(static_cast<Obj*>(nullptr)); }).GetMessage(), "Obj can't be NULL (0)");
    EXPECT_EQ(a->GetAt(1)->GetParent(), a.get());
    EXPECT_EQ(Text(Array::Create().get()), "[]");
}

TEST(Obj, WrongKindThrowsTheIllegalOperationError)
{
    auto name = Name::Create("Type");
    auto e = Thrown([&] { name->GetNumber(); });
    EXPECT_EQ(e.GetMessage(), "GetNumber() can't be invoked on Obj of this type.");
    EXPECT_EQ(e.GetFunction(), "IllegalFunctionException");
    EXPECT_EQ(e.GetCondition(), "the object's type supports the call");

    auto arr = Array::Create();
    EXPECT_EQ(Thrown([&] { arr->PutName("K", "V"); }).GetMessage(), "Put() can't be invoked on Obj of this type.");
    EXPECT_EQ(Thrown([&] { arr->FindObj("K"); }).GetMessage(), "FindObj() can't be invoked on Obj of this type.");
    auto dict = Dict::Create();
    EXPECT_EQ(Thrown([&] { dict->PushBackNumber(1); }).GetMessage(), "PushBack() can't be invoked on Obj of this type.");
    EXPECT_EQ(Thrown([&] { dict->GetAt(0); }).GetMessage(), "GetAt() can't be invoked on Obj of this type.");
    EXPECT_EQ(Thrown([&] { dict->GetName(); }).GetMessage(), "GetName() can't be invoked on Obj of this type.");
    EXPECT_EQ(Thrown([&] { Number::Create(1)->GetBuffer(); }).GetMessage(),
              "GetBuffer() can't be invoked on Obj of this type.");
    EXPECT_EQ(Thrown([&] { dict->GetDecodedStream(); }).GetMessage(),
              "GetDecodedStream() can't be invoked on Obj of this type.");
    // A direct object outside any indirect one has no object number.
    EXPECT_EQ(Thrown([&] { dict->GetObjNum(); }).GetMessage(), "GetObjNum() can't be invoked on Obj of this type.");
}

TEST(Name, InternedShortAndLongTextCompareByBytes)
{
    Name type("Type");
    EXPECT_TRUE(type.IsPredefined());
    auto clone = type.Clone();
    EXPECT_TRUE(static_cast<Name*>(clone.get())->IsPredefined());
    std::string long_text(200, 'x');
    Name long_name(long_text);
    EXPECT_FALSE(long_name.IsPredefined());
    EXPECT_EQ(long_name.GetName(), long_text);
    Name short_name(std::string_view("A\0B", 3));
    EXPECT_EQ(short_name.GetName().size(), 3u);
    EXPECT_TRUE(type.IsEqual(Name::Create("Type").get()));
    EXPECT_FALSE(type.IsEqual(Str::Create("Type").get()));
    // Moving a dictionary's storage keeps short and long keys intact.
    auto d = Dict::Create();
    for (int i = 0; i < 100; ++i) d->PutNumber(std::string(i % 3 == 0 ? 40 : 3, char('a' + i % 26)) + std::to_string(i), i);
    EXPECT_EQ(d->FindObj(std::string(40, 'a') + "78")->GetNumber(), 78);
    ASSERT_NE(d->FindObj("www74"), nullptr);
    EXPECT_EQ(d->FindObj("www74")->GetNumber(), 74);
}

TEST(Obj, PDFTextDecodesByteOrderMarks)
{
    EXPECT_EQ(Str::Create(std::string_view("\xFE\xFF\x00\x41\x20\xAC", 6))->GetAsPDFText().ToUTF8(), "A\xE2\x82\xAC");
    EXPECT_EQ(Str::Create("\xEF\xBB\xBFok")->GetAsPDFText().ToUTF8(), "ok");
    // PDFDocEncoding: 0x80 bullet, 0xA0 euro, 0xE9 as in Latin-1.
    EXPECT_EQ(Str::Create("\x80\xA0\xE9")->GetAsPDFText().ToUTF8(), "\xE2\x80\xA2\xE2\x82\xAC\xC3\xA9");
}

TEST(ObjSet, PoolObjectsBelongToNoDocumentAndVisitByKind)
{
    ObjSet pool;
    Obj* d = pool.CreateDict();
    d->PutName("K", "V");
    Obj* a = pool.CreateArray();
    a->PushBack(d);  // a copy: the pool keeps its own
    EXPECT_EQ(d->GetDoc(), nullptr);
    EXPECT_NE(a->GetAt(0), d);
    EXPECT_EQ(Text(a), "[<</K/V>>]");
    EXPECT_TRUE(pool.CreateNumber(2)->IsEqual(Number::Create(2).get()));
    EXPECT_FALSE(pool.CreateNumber(2)->IsEqual(Number::Create(3).get()));
    EXPECT_TRUE(pool.CreateString(qvx::Common::AsBytes("x"))->IsEqual(Str::Create("x").get()));
    EXPECT_FALSE(d->IsEqual(Dict::Create().get()));  // containers: only themselves

    struct Kinds : ObjVisitor {
        std::string seen;
        void VisitDict(Obj&) override { seen += 'd'; }
        void VisitArray(Obj&) override { seen += 'a'; }
        void VisitName(Obj&) override { seen += 'n'; }
    } v;
    d->Accept(v);
    a->Accept(v);
    pool.CreateName("N")->Accept(v);
    pool.CreateNull()->Accept(v);
    EXPECT_EQ(v.seen, "dan");
}
