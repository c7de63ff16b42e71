#include "pdf/compliance/DocInfoValues.h"

namespace qvx::PDF {

void DocInfoValues::TrimTrailingNuls()
{
    for (Common::UString* s : {&title, &author, &subject, &keywords, &creator, &producer, &part, &conformance}) {
        std::u16string& u = s->Units();
        while (!u.empty() && u.back() == u'\0') u.pop_back();
    }
}

}  // namespace qvx::PDF
