#pragma once

#include "core/Error.h"

namespace data {

// An error of the database: the engine's text follows ours where there is
// one.
class DbError : public core::Error
{
public:
    using core::Error::Error;
};

} // namespace data
