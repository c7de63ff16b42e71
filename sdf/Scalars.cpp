#include "sdf/Scalars.h"

#include "sdf/Str.h"

namespace qvx::SDF {

void Bool::SetBool(bool b)
{
    m_value = b;
    SetModified();
}

void Number::SetNumber(double v)
{
    m_value = v;
    SetModified();
}

void Str::SetString(Common::ByteView bytes)
{
    m_bytes.assign(bytes.begin(), bytes.end());
    SetModified();
}

}  // namespace qvx::SDF
