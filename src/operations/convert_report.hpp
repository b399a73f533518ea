#pragma once
// How a failed conversion is shown: the start-up data preparation and the
// upgrade's conversion of the terminal's data tell the technician alike.

#include "data/convert_error.hpp"
#include "engine/context.hpp"

namespace tavro::operations {

// The box of a conversion failure: the path with F_NotExist or F_ReadInErr,
// or the failure's own text. Nothing for kNone.
void ReportConvertError(engine::Context& ctx, const data::ConvertError& error);

}  // namespace tavro::operations
