#pragma once
// The exception the dictionary parser throws for structure it cannot read.

#include "common/Exception.h"

namespace qvx::SDF {

class ParseException : public Common::Exception {
public:
    using Common::Exception::Exception;
};

}  // namespace qvx::SDF

#define QVX_THROW_PARSE(condition, message) \
    throw ::qvx::SDF::ParseException((message), (condition), __FILE__, __func__, __LINE__)
