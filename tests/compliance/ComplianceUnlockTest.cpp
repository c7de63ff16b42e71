// The compliance run's unlock step: the empty password goes to the default handler, any
// other to the standard handler, and a document that stays locked ends the run with
// "Document is password protected".
#include <gtest/gtest.h>

#include "common/Exception.h"
#include "filters/FilterReader.h"
#include "filters/MemoryFilter.h"
#include "pdf/compliance/PDFACompliance.h"
#include "sdf/ObjWriter.h"
#include "sdf/SecurityHandler.h"
#include "sdf/StdSecurityHandler.h"
#include "tests/support/PdfBuilder.h"

using namespace qvx;
using PDF::PDFACompliance;

namespace {

const Common::Bytes kID = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                           0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF};

// The minimal file with an Encrypt dictionary (object 5) for the given passwords. Its few
// streams are not encrypted, which matters to nobody here: the run only unlocks.
Common::Bytes Locked(const std::string& user, const std::string& encrypt_override = {})
{
    std::string encrypt = encrypt_override;
    if (encrypt.empty()) {
        auto h = SDF::StdSecurityHandler::CreateOutput(4, 128);
        h->InitPassword(user, "owner");
        h->Prepare(kID);
        Filters::MemoryFilter sink;
        {
            Filters::FilterWriter w(sink);
            SDF::ObjWriter(w).Write(*h->CreateEncryptDict());
        }
        encrypt = std::string(Common::AsChars(sink.Data()));
    }
    Test::PdfBuilder b = Test::PdfBuilder::Minimal();
    b.Set(5, encrypt);
    b.SetTrailer("/Root 1 0 R/Encrypt 5 0 R/ID[<00112233445566778899AABBCCDDEEFF><00112233445566778899AABBCCDDEEFF>]");
    std::string pdf = b.Build();
    return Common::Bytes(pdf.begin(), pdf.end());
}

Common::Exception Failure(const Common::Bytes& file, const char* password)
{
    try {
        PDFACompliance run(false, file, password, 4, nullptr, 0, 10, false);
    } catch (const Common::Exception& e) {
        return e;
    }
    return Common::Exception("no exception", "", "", "", 0);
}

}  // namespace

TEST(PDFACompliance, UnlocksOrReportsPasswordProtected)
{
    Common::Bytes locked = Locked("user");
    for (const char* password : {static_cast<const char*>(nullptr), "", "wrong"}) {
        Common::Exception e = Failure(locked, password);
        EXPECT_EQ(e.GetMessage(), "Document is password protected");
        EXPECT_EQ(e.GetCondition(), "security_ok");
        EXPECT_EQ(e.GetFunction(), "Run");
        EXPECT_EQ(e.GetFileName(), "PDFACompliance.cpp");
    }
    for (const char* password : {"user", "owner"}) {
        PDFACompliance run(false, locked, password, 4, nullptr, 0, 10, false);
        ASSERT_NE(run.GetDoc().GetSecurityHandler(), nullptr);
        EXPECT_EQ(run.GetDoc().GetSecurityHandler()->GetPermission(SDF::SecurityHandler::e_owner),
                  std::string(password) == "owner");
    }
    // The options' password serves when the argument gives none.
    PDF::PDFAComplianceOptions o;
    o.SetPassword("user");
    EXPECT_NE(PDFACompliance(false, locked, nullptr, o).GetDoc().GetSecurityHandler(), nullptr);
    // An empty user password needs no password at all.
    PDFACompliance open(false, Locked(""), nullptr, 4, nullptr, 0, 10, false);
    EXPECT_NE(open.GetDoc().GetSecurityHandler(), nullptr);
    // A broken Encrypt dictionary is reported as what it is.
    EXPECT_EQ(Failure(Locked("", "<</Filter/Standard/V 1/R 7>>"), "pw").GetMessage(), "Invalid revision number");
}
