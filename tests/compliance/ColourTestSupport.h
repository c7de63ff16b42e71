#pragma once
// Files for the colour group's tests: a clean file of a level whose one page has the
// resources and content given, output intents with real ICC profiles, and profiles whose
// header claims another colour space, class or version.

#include <cstring>
#include <string>

#include "pdf/compliance/OutputIntents.h"
#include "tests/compliance/ComplianceTestSupport.h"
#include "tests/compliance/Levels.h"

namespace qvx::Test {


inline std::string Ref(int n) { return std::to_string(n) + " 0 R"; }

// The sRGB profile, its header changed: colour space, device class, major version.
inline std::string Profile(const char* space = "RGB ", const char* cls = "mntr", unsigned char major = 2)
{
    Common::Bytes b = PDF::SRGBProfileBytes();
    std::memcpy(&b[16], space, 4);
    std::memcpy(&b[12], cls, 4);
    b[8] = major;
    return std::string(b.begin(), b.end());
}

// Page 3 with these resources (and extra page entries), content stream 4.
inline PdfBuilder ColourFile(int level, const std::string& resources, const std::string& content,
                             const std::string& page_extra = "")
{
    PdfBuilder b = CleanFile(level);
    b.Set(3, "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 200]/Resources " + resources + page_extra +
                 "/Contents 4 0 R>>");
    b.SetStream(4, "", content);
    return b;
}

// An ICC profile stream with N components; returns its number.
inline int AddProfile(PdfBuilder& b, int n, const std::string& profile)
{
    return b.AddStream("/N " + std::to_string(n), profile);
}

// Gives the catalog OutputIntents with the intents given (their bodies); returns the number
// of the first intent.
inline int SetIntents(PdfBuilder& b, const std::vector<std::string>& intents)
{
    std::string refs;
    int first = 0;
    for (const std::string& body : intents) {
        int n = b.Add(body);
        if (!first) first = n;
        refs += Ref(n) + " ";
    }
    b.Set(1, "<</Type/Catalog/Pages 2 0 R/Metadata 5 0 R/OutputIntents[" + refs + "]>>");
    return first;
}

inline std::string Intent(int profile, const std::string& extra = "")
{
    return "<</Type/OutputIntent/S/GTS_PDFA1/OutputConditionIdentifier(x)/DestOutputProfile " + Ref(profile) +
           extra + ">>";
}

// One GTS_PDFA1 intent with a profile of n components ("RGB ", "GRAY" or "CMYK").
inline void AddIntent(PdfBuilder& b, int n)
{
    const char* space = n == 1 ? "GRAY" : n == 4 ? "CMYK" : "RGB ";
    SetIntents(b, {Intent(AddProfile(b, n, Profile(space)))});
}

}  // namespace qvx::Test
